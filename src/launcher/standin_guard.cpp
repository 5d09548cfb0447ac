// Stand-in for the installation guard's path and the reinstall status; the real guard replaces this file.
#include "standin_guard.h"

#include <windows.h>

#include "bounded_format.h"
#include "payload.h"

bool GetInstallFlagPath(char* path) {
    char folder[MAX_PATH] = "";
    GetUserDataFolder(folder);
    char lumo[MAX_PATH];
    char zolt[MAX_PATH];
    if (!formatInto(lumo, "%s\\Lumo", folder) || !formatInto(zolt, "%s\\Zolt", lumo)) return false;
    CreateDirectoryA(lumo, nullptr);
    CreateDirectoryA(zolt, nullptr);
    return formatInto(path, MAX_PATH, "%s\\ZOLT_INSTALL_FLAG", zolt);
}

// No reinstall is ever requested until the real status reader arrives.
bool ReadInstallStatus(char* buffer, size_t capacity) {
    if (capacity > 0) buffer[0] = '\0';
    return false;
}

bool ClearInstallStatus() { return true; }

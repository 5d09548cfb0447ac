// The guard flag file's folders and path, and reading and clearing the reinstall status.
#include "launcher/install_guard.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>

#include "launcher/payload.h"
#include "platform/bounded_format.h"
#include "platform/logger.h"
#include "platform/plain_reg_key.h"

namespace {

constexpr const char* kStatusParentKey = "Software";
constexpr const char* kStatusKey = "Zoltsys";
constexpr const char* kStatusValue = "InstallStatus";
constexpr REGSAM kReadWrite = 0x2001F;

// Logs why the flag path could not be built; `code` is 0 when only a join failed.
bool flagPathFailure(const char* pathSoFar, DWORD code) {
    char message[2048];
    formatInto(message, "Fail to create directory %s, ErrorCode is %d", pathSoFar, static_cast<int>(code));
    logit(message);
    return false;
}

// Creates the folder; an existing one is fine.
bool createFolder(const char* path, DWORD& code) {
    if (CreateDirectoryA(path, nullptr)) return true;
    code = GetLastError();
    return code == ERROR_ALREADY_EXISTS;
}

}  // namespace

bool GetInstallFlagPath(char (&path)[MAX_PATH]) {
    char folder[MAX_PATH] = "";
    if (!GetUserDataFolder(folder)) return false;
    std::memcpy(path, folder, sizeof folder);
    // The join drops the leading backslash of the part, so one separator results.
    if (!PathAppendA(path, "\\Lumo\\")) return false;
    DWORD code = 0;
    if (!createFolder(path, code)) return flagPathFailure(path, code);
    if (!PathAppendA(path, "Zolt\\")) return flagPathFailure(path, 0);
    if (!createFolder(path, code)) return flagPathFailure(path, code);
    if (!PathAppendA(path, "ZOLT_INSTALL_FLAG")) return flagPathFailure(path, 0);
    return true;
}

bool ReadInstallStatus(char* buffer, size_t capacity) {
    if (capacity == 0) return false;
    buffer[0] = '\0';
    PlainRegKey software;
    PlainRegKey zoltsys;
    if (software.Open(HKEY_LOCAL_MACHINE, kStatusParentKey, KEY_READ) != ERROR_SUCCESS ||
        zoltsys.Open(software, kStatusKey, KEY_READ) != ERROR_SUCCESS)
        return false;
    DWORD length = static_cast<DWORD>(capacity);
    if (zoltsys.QueryStringValue(kStatusValue, buffer, &length) != ERROR_SUCCESS) {
        buffer[0] = '\0';
        return false;
    }
    return length != 0 && buffer[0] != '\0';
}

bool ClearInstallStatus() {
    PlainRegKey software;
    PlainRegKey zoltsys;
    if (software.Open(HKEY_LOCAL_MACHINE, kStatusParentKey, KEY_READ) != ERROR_SUCCESS ||
        zoltsys.Open(software, kStatusKey, kReadWrite) != ERROR_SUCCESS)
        return false;
    zoltsys.DeleteValue(kStatusValue);
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(zoltsys, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
        zoltsys.Close();
        software.DeleteSubKey(kStatusKey);
    }
    return true;
}

// Locating the Windows Installer engine, msiexec.exe.
#include "process/msiexec_path.h"

#include <windows.h>

#include "platform/bounded_format.h"
#include "platform/logger.h"
#include "platform/registry_key.h"
#include "platform/sysinfo.h"

namespace {

constexpr const char* kMsiexecName = "\\msiexec.exe";

bool readInstallerLocation(char* buffer, size_t capacity) {
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer", KEY_READ) !=
        ERROR_SUCCESS)
        return false;
    // One character is kept back: a stored value need not end with a terminator.
    DWORD size = static_cast<DWORD>(capacity - 1);
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), "InstallerLocation", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return false;
    buffer[size] = '\0';
    return true;
}

}  // namespace

bool GetMsiexecPath(char* buffer, size_t capacity) {
    if (capacity == 0) return false;
    if (SysInfo::osVersionClass() == WIN_XP && SysInfo::osVersion().wProductType != VER_NT_WORKSTATION) {
        UINT length = GetSystemDirectoryA(buffer, static_cast<UINT>(capacity));
        if (length == 0 || length >= capacity) return false;
    } else if (!readInstallerLocation(buffer, capacity)) {
        return false;
    }
    if (!appendInto(buffer, capacity, kMsiexecName)) {
        TBX_LOG_AS("GetMsiexecPath", LOG_ERROR, "The msiexec path does not fit its buffer.");
        return false;
    }
    return true;
}

// The guard flag file's folders and path, and reading and clearing the reinstall status.
#include "launcher/install_guard.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "launcher/payload.h"
#include "launcher/per_user_paths.h"
#include "platform/bounded_format.h"
#include "platform/dll.h"
#include "platform/link_check.h"
#include "platform/logger.h"
#include "platform/registry_key.h"
#include "platform/win_handles.h"

namespace {

constexpr const char* kStatusParentKey = "Software";
constexpr const char* kStatusKey = "Zoltsys";
constexpr const char* kStatusValue = "InstallStatus";
constexpr REGSAM kReadWrite = 0x2001F;

// Deletes the checked entry itself, through its handle; systems before Windows 6.0 lack the call and delete
// by name (they know no symbolic links, and the link count was checked just before).
bool deleteOpenedEntry(UniqueFile& entry, const char* path) {
    using SetInfoFn = BOOL WINAPI(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
    DllFunction<SetInfoFn> setInfo(Dll::system("kernel32"), "SetFileInformationByHandle");
    if (setInfo.available()) {
        FILE_DISPOSITION_INFO disposition{TRUE};
        return setInfo(entry.get(), FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
    }
    entry.reset();
    return DeleteFileA(path) != FALSE;
}

}  // namespace

bool GetInstallFlagPath(char (&path)[MAX_PATH]) {
    RunHolds holds;
    PerUserPaths paths(holds);
    return paths.locate() == ERROR_SUCCESS && paths.guardFlag(path);
}

FlagTest TestAndClearInstallFlag(const char* path) {
    // Delete access without following a link: a holder's share mode 0 refuses it, and what is deleted is
    // the entry that was checked, never a file a link points to.
    UniqueFile flag(CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!flag) {
        DWORD code = GetLastError();
        return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION
                   ? FlagTest::Held
                   : FlagTest::Free;
    }
    std::string unsafe = unsafeOpenedEntry(flag.get(), EntryKind::File);
    if (!unsafe.empty()) {
        TBX_LOG_AS("WinMain", LOG_ERROR,
                   std::string("The installation flag ") + path + " " + unsafe +
                       "; nothing is deleted. Exiting installer.");
        return FlagTest::Unsafe;
    }
    // A failed deletion leaves the name in place; creating the flag then fails and ends the run.
    deleteOpenedEntry(flag, path);
    return FlagTest::Free;
}

bool ReadInstallStatus(char* buffer, size_t capacity) {
    if (capacity == 0) return false;
    buffer[0] = '\0';
    RegistryKey software;
    RegistryKey zoltsys;
    if (software.Open(HKEY_LOCAL_MACHINE, kStatusParentKey, KEY_READ) != ERROR_SUCCESS ||
        zoltsys.Open(software.get(), kStatusKey, KEY_READ) != ERROR_SUCCESS)
        return false;
    DWORD length = static_cast<DWORD>(capacity);
    if (zoltsys.QueryStringValue(kStatusValue, buffer, &length) != ERROR_SUCCESS) {
        buffer[0] = '\0';
        return false;
    }
    return length != 0 && buffer[0] != '\0';
}

bool ClearInstallStatus() {
    RegistryKey software;
    RegistryKey zoltsys;
    if (software.Open(HKEY_LOCAL_MACHINE, kStatusParentKey, KEY_READ) != ERROR_SUCCESS ||
        zoltsys.Open(software.get(), kStatusKey, kReadWrite) != ERROR_SUCCESS)
        return false;
    zoltsys.DeleteValue(kStatusValue);
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(zoltsys.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
        zoltsys.Close();
        software.DeleteSubKey(kStatusKey);
    }
    return true;
}

bool isInstallFlagHeld(const char* path) {
    // Read access, not attributes alone: only an open that asks for data meets the holder's share mode.
    UniqueFile flag(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (flag) return false;
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

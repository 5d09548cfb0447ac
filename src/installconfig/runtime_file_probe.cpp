// The writability probe of the runtime settings file.
#include "installconfig/runtime_file_probe.h"

#include <shlobj.h>

#include "platform/system_random.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

namespace {

constexpr int kSharingAttempts = 5;
constexpr DWORD kSharingPauseMs = 100;

bool isSharingError(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

DWORD makeFolder(const std::wstring& folder) {
    const int result = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS && result != ERROR_FILE_EXISTS)
        return static_cast<DWORD>(result);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
    // Something that is not a folder stands where the folder belongs.
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_SUCCESS : ERROR_DIRECTORY;
}

// The folder takes a new file: the way every save ends.
DWORD folderTakesNewFile(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\~probe-" + tstrings::toUtf16(systemRandomHex(8)) + L".tmp";
    UniqueHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return GetLastError();
    }
    return ERROR_SUCCESS;
}

DWORD existingFileOpensForReplace(const std::wstring& path) {
    for (int attempt = 1;; ++attempt) {
        HANDLE opened = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (opened != INVALID_HANDLE_VALUE) {
            CloseHandle(opened);
            return ERROR_SUCCESS;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;  // absent: it will be created
        if (!isSharingError(error) || attempt == kSharingAttempts) return error;
        Sleep(kSharingPauseMs);
    }
}

}  // namespace

DWORD probeFileReplaceable(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return ERROR_INVALID_NAME;
    const std::wstring folder = path.substr(0, slash);
    DWORD error = makeFolder(folder);
    if (error == ERROR_SUCCESS) error = folderTakesNewFile(folder);
    if (error == ERROR_SUCCESS) error = existingFileOpensForReplace(path);
    return error;
}

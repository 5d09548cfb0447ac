// Checking the runtime settings file's owner, access lists and links before the elevated launcher reads it.
#include "installconfig/runtime_settings_trust.h"

#include <aclapi.h>

#include "platform/descriptor_check.h"
#include "platform/errors.h"
#include "platform/link_check.h"

namespace {

std::wstring parentOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

UniqueFile openUnfollowed(const std::wstring& path, DWORD access, DWORD share, DWORD& error) {
    UniqueFile opened(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    error = opened ? ERROR_SUCCESS : GetLastError();
    return opened;
}

// The owner and access list of an open entry; false when they cannot be read.
bool readDescriptor(HANDLE entry, LocalMemory<PSECURITY_DESCRIPTOR>& descriptor) {
    return GetSecurityInfo(entry, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                           nullptr, nullptr, nullptr, descriptor.receive()) == ERROR_SUCCESS;
}

}  // namespace

std::string settingsFileDistrust(PSECURITY_DESCRIPTOR file, PSECURITY_DESCRIPTOR folder, PSID self) {
    std::string why = untrustedOwner(file, self);
    if (!why.empty()) return "the file's " + why + " is not trusted";
    why = foreignGrant(file, kSettingsFileGuardedRights, self);
    if (!why.empty()) return "on the file, " + why;
    why = untrustedOwner(folder, self);
    if (!why.empty()) return "the folder's " + why + " is not trusted";
    why = foreignGrant(folder, kSettingsFolderGuardedRights, self);
    if (!why.empty()) return "on the folder, " + why;
    return std::string();
}

RuntimeSettingsCheck::RuntimeSettingsCheck(const std::wstring& path) {
    DWORD error = ERROR_SUCCESS;
    file = openUnfollowed(path, GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, error);
    if (!file) {
        found = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
        // Held for writing by someone else, or refused: not read, like a file that cannot be opened.
        if (found) reason = "it cannot be opened for reading alone: " + systemErrorText(error);
        return;
    }
    found = true;
    reason = unsafeOpenedEntry(file.get(), EntryKind::File);
    if (!reason.empty()) {
        reason = "the file " + reason;
        return;
    }
    const std::wstring folderPath = parentOf(path);
    folder = openUnfollowed(folderPath, READ_CONTROL | FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, error);
    if (!folder) {
        reason = "its folder cannot be opened: " + systemErrorText(error);
        return;
    }
    reason = unsafeOpenedEntry(folder.get(), EntryKind::Folder);
    if (!reason.empty()) {
        reason = "its folder " + reason;
        return;
    }
    // The folder above it (the vendor's folder) must not lead elsewhere either.
    UniqueFile above = openUnfollowed(parentOf(folderPath), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, error);
    if (above) reason = unsafeOpenedEntry(above.get(), EntryKind::Folder);
    if (!reason.empty()) {
        reason = "the folder above it " + reason;
        return;
    }
    LocalMemory<PSECURITY_DESCRIPTOR> fileDescriptor;
    LocalMemory<PSECURITY_DESCRIPTOR> folderDescriptor;
    if (!readDescriptor(file.get(), fileDescriptor) || !readDescriptor(folder.get(), folderDescriptor)) {
        reason = "its access lists cannot be read";
        return;
    }
    BYTE selfBuffer[SECURITY_MAX_SID_SIZE];
    reason = settingsFileDistrust(fileDescriptor.get(), folderDescriptor.get(), processUserSid(selfBuffer));
}

// Checking, holding and preparing the runtime settings file and its folders.
#include "installconfig/runtime_settings_trust.h"

#include "platform/errors.h"
#include "platform/link_check.h"
#include "platform/protected_entries.h"
#include "platform/system_random.h"
#include "platform/tstrings.h"

namespace {

constexpr DWORD kFolderAccess = READ_CONTROL | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kFolderRepairAccess = WRITE_DAC | WRITE_OWNER;

// Without delete sharing: nobody renames or removes the folder while it is held.
UniqueFile openFolder(const std::wstring& path, DWORD& error) {
    UniqueFile opened;
    for (DWORD access : {kFolderAccess | kFolderRepairAccess, kFolderAccess}) {
        opened.reset(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (opened) break;
        error = GetLastError();
        if (error != ERROR_ACCESS_DENIED) break;
    }
    if (opened) error = ERROR_SUCCESS;
    return opened;
}

// Why the open folder is not trusted, empty when it is.
std::string folderDistrust(HANDLE folder) {
    std::string why = unsafeOpenedEntry(folder, EntryKind::Folder);
    if (!why.empty()) return why;
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (DWORD error = readEntrySecurity(folder, descriptor)) return "its access list cannot be read: " + systemErrorText(error);
    return entryDistrust(descriptor.get(), EntryKind::Folder);
}

// Creates the folder protected, or opens the one already there, checks it and brings it to the protected
// access list when it is not trusted. The folder stays held in `held`.
DWORD prepareFolder(const std::wstring& path, UniqueFile& held, bool& trusted) {
    if (!held) {
        ProtectedDescriptor descriptor(kProtectedFolderSddl);
        const DWORD created = createProtectedFolder(path, descriptor);
        if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS) return created;
        DWORD error = ERROR_SUCCESS;
        held = openFolder(path, error);
        if (!held) return error;
        trusted = created == ERROR_SUCCESS;
    }
    if (!trusted) {
        // A link or a file in the folder's place is never repaired or written through.
        if (!unsafeOpenedEntry(held.get(), EntryKind::Folder).empty()) return ERROR_DIRECTORY;
        if (!folderDistrust(held.get()).empty()) {
            ProtectedDescriptor descriptor(kProtectedFolderSddl);
            if (DWORD error = protectOpenEntry(held.get(), descriptor)) return error;
        }
        trusted = true;
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::string settingsFileDistrust(PSECURITY_DESCRIPTOR file, PSECURITY_DESCRIPTOR folder,
                                 PSECURITY_DESCRIPTOR vendorFolder) {
    std::string why = entryDistrust(file, EntryKind::File);
    if (!why.empty()) return "on the file, " + why;
    why = entryDistrust(folder, EntryKind::Folder);
    if (!why.empty()) return "on its folder, " + why;
    why = entryDistrust(vendorFolder, EntryKind::Folder);
    if (!why.empty()) return "on the folder above it, " + why;
    return std::string();
}

RuntimeSettingsCheck::RuntimeSettingsCheck(const std::wstring& path) : filePath(path) {
    const std::wstring folderPath = folderOf(path);
    DWORD error = ERROR_SUCCESS;
    // The folders first, held against renaming: the file is then opened in the folder that was checked.
    vendorFolder = openFolder(folderOf(folderPath), error);
    if (vendorFolder) folder = openFolder(folderPath, error);
    if (vendorFolder) vendorFolderTrusted = folderDistrust(vendorFolder.get()).empty();
    if (folder) folderTrusted = folderDistrust(folder.get()).empty();
    held = HeldFile(path, DELETE);
    if (held.absent()) return;
    if (held.result() != 0 && held.notPlain().empty() && held.openError() != ERROR_SUCCESS) {
        // Held by someone else or refused: not read, like a file that cannot be opened.
        reason = "it cannot be opened for reading alone: " + systemErrorText(held.openError());
        return;
    }
    if (!held.notPlain().empty()) {
        reason = "the file " + held.notPlain();
        return;
    }
    if (!vendorFolder || !folder) {
        reason = "its folders cannot be opened: " + systemErrorText(error);
        return;
    }
    for (HANDLE entry : {folder.get(), vendorFolder.get()}) {
        reason = unsafeOpenedEntry(entry, EntryKind::Folder);
        if (!reason.empty()) {
            reason = "a folder above it " + reason;
            return;
        }
    }
    LocalMemory<PSECURITY_DESCRIPTOR> fileDescriptor;
    LocalMemory<PSECURITY_DESCRIPTOR> folderDescriptor;
    LocalMemory<PSECURITY_DESCRIPTOR> vendorDescriptor;
    if (readEntrySecurity(held.handle(), fileDescriptor) || readEntrySecurity(folder.get(), folderDescriptor) ||
        readEntrySecurity(vendorFolder.get(), vendorDescriptor)) {
        reason = "its access lists cannot be read";
        return;
    }
    reason = settingsFileDistrust(fileDescriptor.get(), folderDescriptor.get(), vendorDescriptor.get());
}

DWORD RuntimeSettingsCheck::prepareExport() {
    const std::wstring folderPath = folderOf(filePath);
    try {
        if (DWORD error = prepareFolder(folderOf(folderPath), vendorFolder, vendorFolderTrusted)) return error;
        if (DWORD error = prepareFolder(folderPath, folder, folderTrusted)) return error;
    } catch (const std::exception&) {
        return ERROR_INVALID_SECURITY_DESCR;
    }
    // A file that another process held when it was opened could not be taken: it cannot be replaced either.
    if (!held.absent() && !held.isOpen()) return held.openError() ? held.openError() : ERROR_SHARING_VIOLATION;
    return ERROR_SUCCESS;
}

DWORD RuntimeSettingsCheck::removeHeldFile() {
    if (letGo) return ERROR_SUCCESS;
    if (held.absent()) {
        // Absent for the whole run: whatever appeared since is not the run's file, and is not rewritten in place.
        if (!DeleteFileW(filePath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return GetLastError();
        letGo = true;
        return ERROR_SUCCESS;
    }
    if (!held.isOpen()) return ERROR_SHARING_VIOLATION;
    std::wstring aside;
    try {
        aside = filePath + L"." + tstrings::toUtf16(systemRandomHex(8)) + L".old";
    } catch (const std::exception&) {
        return ERROR_GEN_FAILURE;
    }
    // Renamed through the handle: the name is free at once, even while readers that allow deletion keep the
    // old file open, and a second name the file may have is left as it is.
    std::string buffer(sizeof(FILE_RENAME_INFO) + aside.size() * sizeof(wchar_t), '\0');
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(&buffer[0]);
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(aside.size() * sizeof(wchar_t));
    aside.copy(rename->FileName, aside.size());
    if (!SetFileInformationByHandle(held.handle(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size())))
        return GetLastError();
    FILE_DISPOSITION_INFO disposition{TRUE};
    const DWORD deleted =
        SetFileInformationByHandle(held.handle(), FileDispositionInfo, &disposition, sizeof disposition)
            ? ERROR_SUCCESS
            : GetLastError();
    held.close();
    letGo = true;
    return deleted;
}

DWORD RuntimeSettingsCheck::replaceHeldFileWith(const std::wstring& staged) {
    // The held file is set aside through its handle (so a reader that allows deletion does not stand in the
    // way) only once the new file is complete: then the name is without a file for two renames, not a save.
    if (const DWORD error = removeHeldFile()) return error;
    return MoveFileExW(staged.c_str(), filePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? ERROR_SUCCESS
               : GetLastError();
}

void RuntimeSettingsCheck::releaseFile() {
    held.close();
    letGo = true;
}

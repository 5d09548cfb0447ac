// Checking, holding and writing the runtime settings file and its folders.
#include "installconfig/runtime_settings_trust.h"

#include <vector>

#include "installconfig/config_log.h"
#include "installconfig/settings_leftovers.h"
#include "platform/errors.h"
#include "platform/link_check.h"
#include "platform/protected_entries.h"
#include "platform/relative_create.h"
#include "platform/relative_entries.h"
#include "platform/system_random.h"
#include "platform/tstrings.h"
#include "settings/settings_exception.h"
#include "settings/settings_os.h"

namespace {

// Without delete access, which others who list the folder without delete sharing would run into.
constexpr DWORD kFolderAccess = READ_CONTROL | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE;
// Only administrators can rename or remove a trusted folder; an untrusted one is set aside through this handle,
// wherever its maker moves it meanwhile, and never used.
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Readers may open the file while it is held, writers may not; delete sharing lets a new file replace it.
constexpr DWORD kFileShare = FILE_SHARE_READ | FILE_SHARE_DELETE;

std::wstring leafOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::string utf8(const std::wstring& text) { return tstrings::toUtf8(text); }

// "<name>.<16 hex digits><ending>": a name beside `name` that nobody can take before it is used.
std::wstring nameBeside(const std::wstring& name, const wchar_t* ending) {
    return name + L"." + tstrings::toUtf16(systemRandomHex(8)) + ending;
}

DWORD openFolder(HANDLE parent, const std::wstring& name, UniqueFile& entry) {
    return openRelative(parent, name, kFolderAccess, kFolderShare, entry);
}

// Why the open folder is not trusted, empty when it is.
std::string folderDistrust(HANDLE folder) {
    std::string why = unsafeOpenedEntry(folder, EntryKind::Folder);
    if (!why.empty()) return why;
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (DWORD error = readEntrySecurity(folder, descriptor))
        return "its access list cannot be read: " + systemErrorText(error);
    return entryDistrust(descriptor.get(), EntryKind::Folder);
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

RuntimeSettingsCheck::RuntimeSettingsCheck(const std::wstring& path) : filePath(path), fileName(leafOf(path)) {
    const std::wstring folderPath = folderOf(path);
    const std::wstring vendorPath = folderOf(folderPath);
    // The common application-data folder, where only administrators can rename or replace anything.
    root.reset(CreateFileW(folderOf(vendorPath).c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    DWORD error = root ? openFolder(root.get(), leafOf(vendorPath), vendorFolder) : GetLastError();
    if (vendorFolder) {
        vendorFolderWhy = folderDistrust(vendorFolder.get());
        // Only a plain folder is looked into.
        if (unsafeOpenedEntry(vendorFolder.get(), EntryKind::Folder).empty())
            error = openFolder(vendorFolder.get(), leafOf(folderPath), folder);
    }
    if (folder) folderWhy = folderDistrust(folder.get());
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) chainError = error;
    if (chainError) reason = "its folders cannot be opened: " + systemErrorText(chainError);
    // Nothing is in a folder that is not there or not a folder.
    if (!folder || !unsafeOpenedEntry(folder.get(), EntryKind::Folder).empty()) return;
    held = HeldFile(folder.get(), fileName, DELETE, kFileShare);
    // In folders only administrators can change, a settings file set aside by a save that was stopped is the
    // one to read; it is put back before anything is read.
    if (held.absent() && vendorFolderWhy.empty() && folderWhy.empty()) {
        putBackName = putBackSetAside(folder.get(), fileName);
        if (!putBackName.empty()) {
            CONFIG_LOG("InstallConfigData::ImportRuntimeConfigSettings", LOG_WARNING,
                       tstrings::format("The runtime config file %s was missing: %s, set aside by a run that was "
                                        "stopped, is put back.",
                                        utf8(filePath).c_str(), utf8(putBackName).c_str()));
            held = HeldFile(folder.get(), fileName, DELETE, kFileShare);
        }
    }
    foundFile = !held.absent();
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

RuntimeSettingsCheck::~RuntimeSettingsCheck() { discardNewFile(); }

DWORD RuntimeSettingsCheck::makeFolderProtected(UniqueFile& entry, HANDLE parent, const std::wstring& path,
                                                const std::string& why) {
    if (entry && why.empty()) return ERROR_SUCCESS;
    if (entry) {
        // Renamed through its own handle, so the folder set aside is the one that was judged.
        const std::wstring aside = nameBeside(leafOf(path), L".old");
        UniqueFile forRename;
        DWORD error = reopenEntry(entry.get(), DELETE | FILE_READ_ATTRIBUTES, kFolderShare, forRename);
        if (error == ERROR_SUCCESS) error = renameRelative(forRename.get(), parent, aside, RenameMode::KeepExisting);
        if (error != ERROR_SUCCESS) {
            CONFIG_LOG("InstallConfigData::checkRuntimeConfigWritable", LOG_ERROR,
                       tstrings::format("The folder %s is not trusted (%s) and cannot be set aside: %s",
                                        utf8(path).c_str(), why.c_str(), systemErrorText(error).c_str()));
            return error;
        }
        CONFIG_LOG("InstallConfigData::checkRuntimeConfigWritable", LOG_WARNING,
                   tstrings::format("The folder %s is not trusted (%s): it is set aside as %s and a new one is made.",
                                    utf8(path).c_str(), why.c_str(), utf8(aside).c_str()));
        // A folder is removed if it is empty; whatever someone put in it stays there, under its new name.
        if (unsafeOpenedEntry(entry.get(), EntryKind::Folder).empty()) setRemoveOnClose(forRename.get(), true);
        entry.reset();
    }
    ProtectedDescriptor descriptor(kProtectedFolderSddl);
    return createRelative(parent, leafOf(path), EntryKind::Folder, kFolderAccess, kFolderShare,
                          descriptor.get(), entry);
}

DWORD RuntimeSettingsCheck::prepareExport() {
    if (prepared) return newFile ? ERROR_SUCCESS : startNewFile();
    // A folder that cannot be opened can be neither trusted nor set aside.
    if (!root || chainError) return chainError ? chainError : ERROR_PATH_NOT_FOUND;
    // A file that another process held when it was opened could not be taken: it cannot be replaced either,
    // unless it goes aside with its folder.
    if (!letGo && !held.absent() && !held.isOpen() && vendorFolderWhy.empty() && folderWhy.empty())
        return held.openError() ? held.openError() : ERROR_SHARING_VIOLATION;
    const std::wstring folderPath = folderOf(filePath);
    try {
        // Nothing inside a folder that is set aside stays open: the system would refuse to rename it.
        if (vendorFolder && !vendorFolderWhy.empty()) {
            held.close();
            folder.reset();
            folderWhy.clear();
        }
        if (DWORD error = makeFolderProtected(vendorFolder, root.get(), folderOf(folderPath), vendorFolderWhy))
            return error;
        vendorFolderWhy.clear();
        if (folder && !folderWhy.empty()) held.close();
        if (DWORD error = makeFolderProtected(folder, vendorFolder.get(), folderPath, folderWhy)) return error;
        folderWhy.clear();
    } catch (const std::exception&) {
        return ERROR_INVALID_SECURITY_DESCR;
    }
    prepared = true;
    return startNewFile();
}

DWORD RuntimeSettingsCheck::startNewFile() {
    std::vector<uint8_t> descriptor;
    std::wstring name;
    try {
        descriptor = settings_impl::settingsFileSecurityDescriptor();
        name = nameBeside(fileName, L".tmp");
    } catch (const std::exception&) {
        return ERROR_INVALID_SECURITY_DESCR;
    }
    // Written only through this handle, which is held until the file has its name.
    if (const DWORD error = createRelative(folder.get(), name, EntryKind::File, GENERIC_WRITE | DELETE, 0,
                                           descriptor.data(), newFile))
        return error;
    // Gone when its handle closes, however the run ends, until it takes the settings file's name.
    setRemoveOnClose(newFile.get(), true);
    return ERROR_SUCCESS;
}

void RuntimeSettingsCheck::discardNewFile() {
    if (!newFile) return;
    setRemoveOnClose(newFile.get(), true);
    newFile.reset();
}

bool RuntimeSettingsCheck::replacesExistingFile() const {
    if (!letGo) return foundFile;
    UniqueFile existing;
    return folder && openRelative(folder.get(), fileName, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, existing) == ERROR_SUCCESS;
}

DWORD RuntimeSettingsCheck::write(const std::string& bytes) {
    if (DWORD error = prepareExport()) return error;
    DWORD written = 0;
    if (!WriteFile(newFile.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        !FlushFileBuffers(newFile.get())) {
        const DWORD error = GetLastError();
        discardNewFile();
        return error;
    }
    if (written != bytes.size()) {
        discardNewFile();
        return ERROR_WRITE_FAULT;
    }
    DWORD error = setRemoveOnClose(newFile.get(), false);
    if (error == ERROR_SUCCESS) error = putNewFileInPlace();
    if (error != ERROR_SUCCESS) {
        discardNewFile();
        return error;
    }
    newFile.reset();
    letGo = true;
    return ERROR_SUCCESS;
}

DWORD RuntimeSettingsCheck::putNewFileInPlace() {
    // One step that replaces the old file while it is still held (every other handle on it allows deletion).
    if (renameRelative(newFile.get(), folder.get(), fileName, RenameMode::ReplaceWhileOpen) == ERROR_SUCCESS) {
        held.close();
        return ERROR_SUCCESS;
    }
    // Systems without that step replace a file only while nobody has it open. The folder is protected, so letting
    // go of the old file lets nobody but readers in.
    held.close();
    DWORD error = renameRelative(newFile.get(), folder.get(), fileName, RenameMode::Replace);
    if (error == ERROR_SUCCESS) return ERROR_SUCCESS;
    // A reader holds the old file: it is set aside under a name of its own while the new one takes the name. A
    // run stopped in between leaves it for the next run to put back.
    UniqueFile old;
    error = openRelative(folder.get(), fileName, DELETE | FILE_READ_ATTRIBUTES, kFileShare, old);
    if (error == ERROR_FILE_NOT_FOUND) return renameRelative(newFile.get(), folder.get(), fileName, RenameMode::KeepExisting);
    if (error != ERROR_SUCCESS) return error;
    std::wstring aside;
    try {
        aside = nameBeside(fileName, L".old");
    } catch (const std::exception&) {
        return ERROR_GEN_FAILURE;
    }
    if ((error = renameRelative(old.get(), folder.get(), aside, RenameMode::KeepExisting)) != ERROR_SUCCESS) return error;
    error = renameRelative(newFile.get(), folder.get(), fileName, RenameMode::KeepExisting);
    if (error != ERROR_SUCCESS) {
        renameRelative(old.get(), folder.get(), fileName, RenameMode::KeepExisting);
        return error;
    }
    setRemoveOnClose(old.get(), true);
    return ERROR_SUCCESS;
}

DWORD RuntimeSettingsCheck::removeFile() {
    UniqueFile opened;
    HANDLE file = held.handle();
    if (!held.isOpen()) {
        // Found absent, or let go after the export: whatever has the name now is removed through a handle of its own.
        if (!folder) return ERROR_SUCCESS;
        const DWORD error = openRelative(folder.get(), fileName, DELETE | FILE_READ_ATTRIBUTES, kFileShare, opened);
        if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (error != ERROR_SUCCESS) return error;
        file = opened.get();
    }
    std::wstring aside;
    try {
        aside = nameBeside(fileName, L".old");
    } catch (const std::exception&) {
        return ERROR_GEN_FAILURE;
    }
    // Renamed through the handle: the name is free at once, even while readers that allow deletion keep the
    // old file open, and a second name the file may have is left as it is.
    if (const DWORD error = renameRelative(file, folder.get(), aside, RenameMode::KeepExisting)) return error;
    const DWORD error = setRemoveOnClose(file, true);
    held.close();
    letGo = true;
    return error;
}

void RuntimeSettingsCheck::releaseFile() {
    held.close();
    discardNewFile();
    letGo = true;
}

int RuntimeSettingsCheck::removeLeftovers() {
    if (!folder) return 0;
    return ::removeLeftovers(folder.get(), fileName, [&](const std::wstring& name) {
        CONFIG_LOG("InstallConfigData::removeSettingsLeftovers", LOG_INFO,
                   tstrings::format("Removed %s, left beside the runtime config file by a run that was stopped.",
                                    utf8(name).c_str()));
    });
}

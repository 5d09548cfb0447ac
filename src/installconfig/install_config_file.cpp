// Opening, reading and judging the install configuration file.
#include "installconfig/install_config_file.h"

#include "platform/entry_trust.h"
#include "settings/file_name.h"
#include "settings/settings_exception.h"

InstallConfigFile::InstallConfigFile(const std::string& path) : givenPath(path) {
    std::wstring name;
    try {
        name = settings_impl::FileName(path).canonicalize().wide();
    } catch (const settings::Exception& e) {
        code = e.code;
        return;
    } catch (const std::exception&) {
        code = 311;
        return;
    }
    held = HeldFile(name, 0);
    code = held.result();
    if (code != 0) return;
    LocalMemory<PSECURITY_DESCRIPTOR> fileDescriptor;
    if (readEntrySecurity(held.handle(), fileDescriptor) != ERROR_SUCCESS) {
        otherWriters.push_back("<the file's access list cannot be read>");
        return;
    }
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(fileDescriptor.get(), &owner, &defaulted);
    otherWriters = principalsWhoMayChange(fileDescriptor.get(), EntryKind::File, owner);
    // Held without delete sharing: the folder cannot be renamed away under the held file.
    folder.reset(CreateFileW(folderOf(name).c_str(), READ_CONTROL | FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    LocalMemory<PSECURITY_DESCRIPTOR> folderDescriptor;
    if (!folder || readEntrySecurity(folder.get(), folderDescriptor) != ERROR_SUCCESS) {
        otherWriters.push_back("<the folder's access list cannot be read>");
        return;
    }
    for (const std::string& name : principalsWhoMayChange(folderDescriptor.get(), EntryKind::Folder, owner)) {
        bool known = false;
        for (const std::string& writer : otherWriters) known = known || writer == name;
        if (!known) otherWriters.push_back(name);
    }
}

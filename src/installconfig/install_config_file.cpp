// Opening, reading and judging the install configuration file.
#include "installconfig/install_config_file.h"

#include "platform/descriptor_check.h"
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
    addWriters(fileDescriptor.get(), EntryKind::File, "the file");
    // Held without delete sharing: the folder cannot be renamed away under the held file.
    folder.reset(CreateFileW(folderOf(name).c_str(), READ_CONTROL | FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    LocalMemory<PSECURITY_DESCRIPTOR> folderDescriptor;
    if (!folder || readEntrySecurity(folder.get(), folderDescriptor) != ERROR_SUCCESS) {
        otherWriters.push_back("<the folder's access list cannot be read>");
        return;
    }
    addWriters(folderDescriptor.get(), EntryKind::Folder, "its folder");
}

void InstallConfigFile::addWriters(PSECURITY_DESCRIPTOR descriptor, EntryKind kind, const char* whose) {
    auto add = [&](const std::string& sid, const std::string& text) {
        for (const std::string& known : otherWriters)
            if (known.compare(0, sid.size(), sid) == 0 && (known.size() == sid.size() || known[sid.size()] == ' '))
                return;
        otherWriters.push_back(text);
    };
    // An owner may always change the access list, and so everything else: the one most likely to have
    // planted the file is named as such.
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    if (owner && !isTrustedOwner(owner)) add(sidText(owner), sidText(owner) + " (owner of " + whose + ")");
    for (const std::string& sid : principalsWhoMayChange(descriptor, kind, owner)) add(sid, sid);
}

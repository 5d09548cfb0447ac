// Opening, checking, securing and holding the payload folders.
#include "launcher/payload_folders.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "launcher/payload_lock.h"
#include "platform/errors.h"
#include "platform/link_check.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

namespace {

// A held folder's key: its path without a trailing separator, in upper case.
std::string folderKey(const char* path) {
    std::string key = "folder:" + tstrings::stripTrailingSeparators(path);
    CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

bool leafDescriptor(LocalMemory<PSECURITY_DESCRIPTOR>& descriptor) {
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(leafFolderSecurityText().c_str(), SDDL_REVISION_1,
                                                                descriptor.receive(), nullptr) != FALSE;
}

// A leaf that existed before (made by anyone, with any access list) is brought to the protected one.
DWORD protectLeaf(HANDLE folder, PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PACL sacl = nullptr;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted);
    return SetSecurityInfo(folder, SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                               PROTECTED_DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION |
                               PROTECTED_SACL_SECURITY_INFORMATION,
                           owner, nullptr, dacl, sacl);
}

}  // namespace

std::wstring leafFolderSecurityText() {
    return L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;WD)S:P(ML;OICI;NW;;;ME)";
}

bool holdPayloadFolder(RunHolds& holds, const char* path, FolderRole role, const char* function) {
    const std::string key = folderKey(path);
    if (holds.isHeld(key)) return true;

    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (role == FolderRole::Leaf && !leafDescriptor(descriptor)) {
        DWORD code = GetLastError();
        holds.reportTampering(function, "The payload folder's access list cannot be built: " + systemErrorText(code));
        return false;
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    // An existing folder is fine here; whatever it is, it is checked from its handle below.
    CreateDirectoryA(path, role == FolderRole::Leaf ? &security : nullptr);

    // Listing access makes the share mode count: without delete sharing nobody can rename or remove it.
    DWORD access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
    if (role == FolderRole::Leaf) access |= WRITE_DAC | WRITE_OWNER;
    UniqueFile folder(CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) {
        DWORD code = GetLastError();
        holds.reportTampering(function,
                        std::string("The payload folder ") + path + " cannot be opened: " + systemErrorText(code));
        return false;
    }
    std::string unsafe = unsafeOpenedEntry(folder.get(), EntryKind::Folder);
    if (!unsafe.empty()) {
        holds.reportTampering(function, std::string("The payload folder ") + path + " " + unsafe + "; not used.");
        return false;
    }
    if (role == FolderRole::Leaf) {
        DWORD code = protectLeaf(folder.get(), descriptor.get());
        if (code != ERROR_SUCCESS) {
            holds.reportTampering(function, std::string("The payload folder ") + path +
                                          " cannot be given its access list: " + systemErrorText(code));
            return false;
        }
    }
    holds.hold(std::move(folder), key);
    return true;
}

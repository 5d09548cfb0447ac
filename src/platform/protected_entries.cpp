// Building protected descriptors and creating or repairing entries with them.
#include "platform/protected_entries.h"

#include <aclapi.h>
#include <sddl.h>

#include "platform/errors.h"

namespace {

CreateFolderFunction folderCreator = &CreateDirectoryW;

DWORD setOwnerAndProtectedList(HANDLE entry, PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    return SetSecurityInfo(entry, SE_FILE_OBJECT,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                               PROTECTED_DACL_SECURITY_INFORMATION,
                           owner, nullptr, dacl, nullptr);
}

EntryProtector entryProtector = &setOwnerAndProtectedList;

}  // namespace

ProtectedDescriptor::ProtectedDescriptor(const std::wstring& sddl) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            sddl.c_str(), SDDL_REVISION_1, memory.receive(), nullptr))
        TBX_THROW_SYS("ConvertStringSecurityDescriptorToSecurityDescriptorW", &ConvertStringSecurityDescriptorToSecurityDescriptorW,
                      GetLastError());
    security = SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), memory.get(), FALSE};
}

DWORD createProtectedFolder(const std::wstring& path, ProtectedDescriptor& descriptor) {
    if (folderCreator(path.c_str(), descriptor.attributes())) return ERROR_SUCCESS;
    return GetLastError();
}

DWORD protectOpenEntry(HANDLE entry, const ProtectedDescriptor& descriptor) {
    return entryProtector(entry, descriptor.get());
}

std::wstring descriptorSddl(PSECURITY_DESCRIPTOR descriptor) {
    LocalMemory<LPWSTR> text;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                              text.receive(), nullptr))
        return std::wstring();
    return static_cast<const wchar_t*>(text.get());
}

void setFolderCreator(CreateFolderFunction create) { folderCreator = create ? create : &CreateDirectoryW; }

void setEntryProtector(EntryProtector protector) {
    entryProtector = protector ? protector : &setOwnerAndProtectedList;
}

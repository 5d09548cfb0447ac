// Walking access lists for grants to principals other than SYSTEM, administrators and the running account.
#include "platform/descriptor_check.h"

#include <sddl.h>

#include <vector>

#include "platform/entry_trust.h"
#include "platform/win_handles.h"

namespace {

bool isWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

}  // namespace

std::string sidText(PSID sid) {
    LocalMemory<LPSTR> text;
    if (!sid || !ConvertSidToStringSidA(sid, text.receive())) return "<unreadable SID>";
    return text.get();
}

ACCESS_MASK mapFileRights(ACCESS_MASK mask) {
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    MapGenericMask(&mask, &mapping);
    return mask;
}

std::string rightsText(ACCESS_MASK mask) {
    char text[16];
    wsprintfA(text, "0x%08lX", static_cast<unsigned long>(mask));
    return text;
}

std::string forEachAllowEntry(PSECURITY_DESCRIPTOR descriptor, ChildrenOnlyEntries childrenOnly,
                              const std::function<bool(const AllowEntry&)>& visit) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return "unreadable access list";
    if (!present || !dacl) return "no access list: everyone may do anything";
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) return "unreadable access entry";
        if (childrenOnly == ChildrenOnlyEntries::Skip && (header->AceFlags & INHERIT_ONLY_ACE)) continue;
        switch (header->AceType) {
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: continue;
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
            // Both kinds start with the same header, mask and SID.
            auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
            if (!visit(AllowEntry{&ace->SidStart, mapFileRights(ace->Mask), header->AceFlags})) return std::string();
            continue;
        }
        default: return "an access entry of kind " + std::to_string(header->AceType) + " the check cannot read";
        }
    }
    return std::string();
}

bool isTrustedPrincipal(PSID sid, PSID self) {
    if (!sid || !IsValidSid(sid)) return false;
    if (isTrustedOwner(sid)) return true;
    return self && IsValidSid(self) && EqualSid(sid, self);
}

std::string foreignGrant(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights, PSID self) {
    // Rights given to "the owner" are the owner's, which the caller checks on its own.
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    const bool ownerTrusted = isTrustedPrincipal(owner, self);
    std::string grant;
    auto firstForeign = [&](const AllowEntry& entry) {
        const ACCESS_MASK granted = entry.fileRights & rights;
        if (!granted || isTrustedPrincipal(entry.sid, self)) return true;
        if (isWellKnown(entry.sid, WinCreatorOwnerRightsSid) && ownerTrusted) return true;
        grant = sidText(entry.sid) + " may " + rightsText(granted);
        return false;
    };
    const std::string unreadable = forEachAllowEntry(descriptor, ChildrenOnlyEntries::Skip, firstForeign);
    return unreadable.empty() ? grant : unreadable;
}

bool hasLowIntegrityLabel(PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL sacl = nullptr;
    if (!GetSecurityDescriptorSacl(descriptor, &present, &sacl, &defaulted) || !present || !sacl) return false;
    for (DWORD i = 0; i < sacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(sacl, i, reinterpret_cast<void**>(&header))) return true;
        if (header->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
        PSID label = &reinterpret_cast<SYSTEM_MANDATORY_LABEL_ACE*>(header)->SidStart;
        DWORD level = *GetSidSubAuthority(label, *GetSidSubAuthorityCount(label) - 1);
        if (level < SECURITY_MANDATORY_MEDIUM_RID) return true;
    }
    return false;
}

PSID processUserSid(BYTE (&buffer)[SECURITY_MAX_SID_SIZE]) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return nullptr;
    UniqueHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return nullptr;
    std::vector<BYTE> user(size);
    if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return nullptr;
    if (!CopySid(sizeof buffer, buffer, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid)) return nullptr;
    return buffer;
}

// Judging owners and access lists against the trusted principals.
#include "platform/entry_trust.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>

#include "platform/descriptor_check.h"

namespace {

// NT SERVICE\TrustedInstaller: a service SID, not among the well-known SID types.
constexpr const char* kTrustedInstallerSid = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

EntrySecurityReader securityReader = nullptr;

BYTE extraOwnerBuffer[SECURITY_MAX_SID_SIZE];
PSID extraOwner = nullptr;

bool isTrustedInstaller(PSID sid) {
    LocalMemory<PSID> installer;
    if (!ConvertStringSidToSidA(kTrustedInstallerSid, installer.receive())) return false;
    return EqualSid(sid, installer.get()) != FALSE;
}

std::string sidText(PSID sid) {
    LocalMemory<LPSTR> text;
    if (!sid || !ConvertSidToStringSidA(sid, text.receive())) return "<unreadable SID>";
    return static_cast<const char*>(text.get());
}

ACCESS_MASK mapFileRights(ACCESS_MASK mask) {
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    MapGenericMask(&mask, &mapping);
    return mask;
}

ACCESS_MASK guardedRights(EntryKind kind, BYTE aceFlags) {
    ACCESS_MASK rights = 0;
    if (!(aceFlags & INHERIT_ONLY_ACE)) rights = kind == EntryKind::File ? kFileChangeRights : kFolderChangeRights;
    // What an entry passes down guards what those children would be.
    if (aceFlags & OBJECT_INHERIT_ACE) rights |= kFileChangeRights;
    if (aceFlags & CONTAINER_INHERIT_ACE) rights |= kFolderChangeRights;
    return rights;
}

// Calls `found` with the SID and granted change rights of every untrusted allow entry; false when the list
// cannot be read (then `why` says so).
template <class Found>
bool walkGrants(PSECURITY_DESCRIPTOR descriptor, EntryKind kind, std::string& why, Found found) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        why = "unreadable access list";
        return false;
    }
    if (!present || !dacl) {
        why = "no access list: everyone may do anything";
        return false;
    }
    PSID owner = nullptr;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    const bool ownerTrusted = owner && isTrustedOwner(owner);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
            why = "unreadable access entry";
            return false;
        }
        switch (header->AceType) {
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: continue;
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
            auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
            PSID sid = &ace->SidStart;
            const ACCESS_MASK granted = mapFileRights(ace->Mask) & guardedRights(kind, header->AceFlags);
            if (!granted || isTrustedOwner(sid)) continue;
            // "Creator owner" becomes the creator of a child; only trusted principals can create children here.
            if (IsWellKnownSid(sid, WinCreatorOwnerSid)) continue;
            if (IsWellKnownSid(sid, WinCreatorOwnerRightsSid) && ownerTrusted) continue;
            found(sid, granted);
            continue;
        }
        default:
            why = "an access entry of kind " + std::to_string(header->AceType) + " the check cannot read";
            return false;
        }
    }
    return true;
}

}  // namespace

bool isTrustedOwner(PSID sid) {
    if (!sid || !IsValidSid(sid)) return false;
    if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return true;
    if (extraOwner && EqualSid(sid, extraOwner)) return true;
    return isTrustedInstaller(sid);
}

std::string entryDistrust(PSECURITY_DESCRIPTOR descriptor, EntryKind kind) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner) return "it has no owner";
    if (!isTrustedOwner(owner)) return "its owner " + sidText(owner) + " is not trusted";
    std::string why;
    std::string grant;
    const bool readable = walkGrants(descriptor, kind, why, [&](PSID sid, ACCESS_MASK granted) {
        if (!grant.empty()) return;
        char mask[16];
        wsprintfA(mask, "0x%08lX", static_cast<unsigned long>(granted));
        grant = sidText(sid) + " may " + mask;
    });
    if (!readable) return why;
    return grant;
}

std::vector<std::string> principalsWhoMayChange(PSECURITY_DESCRIPTOR descriptor, EntryKind kind, PSID exempt) {
    std::vector<std::string> names;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    auto add = [&](const std::string& name) {
        for (const std::string& known : names)
            if (known == name) return;
        names.push_back(name);
    };
    // An owner may always change the access list.
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner) {
        add("<no owner>");
    } else if (!isTrustedOwner(owner) && !(exempt && EqualSid(owner, exempt))) {
        add(sidText(owner));
    }
    std::string why;
    const bool readable = walkGrants(descriptor, kind, why, [&](PSID sid, ACCESS_MASK) {
        if (!(exempt && EqualSid(sid, exempt))) add(sidText(sid));
    });
    if (!readable) add("<" + why + ">");
    return names;
}

DWORD readEntrySecurity(HANDLE entry, LocalMemory<PSECURITY_DESCRIPTOR>& descriptor) {
    if (securityReader) return securityReader(entry, descriptor);
    return GetSecurityInfo(entry, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                           nullptr, nullptr, nullptr, descriptor.receive());
}

void setEntrySecurityReader(EntrySecurityReader reader) { securityReader = reader; }

void trustRunningAccountAsOwner() { extraOwner = processUserSid(extraOwnerBuffer); }

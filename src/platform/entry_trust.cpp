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

bool isTrustedInstaller(PSID sid) {
    LocalMemory<PSID> installer;
    if (!ConvertStringSidToSidA(kTrustedInstallerSid, installer.receive())) return false;
    return EqualSid(sid, installer.get()) != FALSE;
}

ACCESS_MASK guardedRights(EntryKind kind, BYTE aceFlags, ACCESS_MASK alsoGuarded) {
    const ACCESS_MASK folderRights = kFolderChangeRights | alsoGuarded;
    ACCESS_MASK rights = 0;
    if (!(aceFlags & INHERIT_ONLY_ACE)) rights = kind == EntryKind::File ? kFileChangeRights : folderRights;
    // What an entry passes down guards what those children would be.
    if (aceFlags & OBJECT_INHERIT_ACE) rights |= kFileChangeRights;
    if (aceFlags & CONTAINER_INHERIT_ACE) rights |= folderRights;
    return rights;
}

// Calls `found` with the SID and granted change rights of every untrusted allow entry; false when the list
// cannot be read (then `why` says so).
template <class Found>
bool walkGrants(PSECURITY_DESCRIPTOR descriptor, EntryKind kind, ACCESS_MASK alsoGuarded, std::string& why,
                Found found) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    const bool ownerTrusted = owner && isTrustedOwner(owner);
    why = forEachAllowEntry(descriptor, ChildrenOnlyEntries::Visit, [&](const AllowEntry& entry) {
        const ACCESS_MASK granted = entry.fileRights & guardedRights(kind, entry.flags, alsoGuarded);
        if (!granted || isTrustedOwner(entry.sid)) return true;
        // "Creator owner" becomes the creator of a child; only trusted principals can create children here.
        if (IsWellKnownSid(entry.sid, WinCreatorOwnerSid)) return true;
        if (IsWellKnownSid(entry.sid, WinCreatorOwnerRightsSid) && ownerTrusted) return true;
        found(entry.sid, granted);
        return true;
    });
    return why.empty();
}

}  // namespace

bool isBuiltInTrustedOwner(PSID sid) {
    if (!sid || !IsValidSid(sid)) return false;
    if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return true;
    return isTrustedInstaller(sid);
}

std::string entryDistrust(PSECURITY_DESCRIPTOR descriptor, EntryKind kind, ACCESS_MASK alsoGuarded) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner) return "it has no owner";
    if (!isTrustedOwner(owner)) return "its owner " + sidText(owner) + " is not trusted";
    std::string why;
    std::string grant;
    const bool readable = walkGrants(descriptor, kind, alsoGuarded, why, [&](PSID sid, ACCESS_MASK granted) {
        if (grant.empty()) grant = sidText(sid) + " may " + rightsText(granted);
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
    const bool readable = walkGrants(descriptor, kind, 0, why, [&](PSID sid, ACCESS_MASK) {
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

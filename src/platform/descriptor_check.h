// Reading a security descriptor as an attacker would: which principal, other than the trusted ones, may do
// what to the object it protects.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// A SID as text ("S-1-5-..."), or "<unreadable SID>".
std::string sidText(PSID sid);
// Generic rights in `mask` mapped to the file rights they stand for.
ACCESS_MASK mapFileRights(ACCESS_MASK mask);
// An access mask as "0x" and eight hex digits.
std::string rightsText(ACCESS_MASK mask);

// One allow entry of an access list: whom it names, the file rights it gives (generic rights mapped) and its
// inheritance flags.
struct AllowEntry {
    PSID sid;
    ACCESS_MASK fileRights;
    BYTE flags;
};

// Whether entries that apply only to children are walked too.
enum class ChildrenOnlyEntries { Skip, Visit };

// Calls `visit` with every allow entry of the descriptor's access list, in order, until it returns false. Deny
// entries are skipped (no check counts on them). Empty when the list was read; otherwise why it cannot be: no
// list (everyone may do anything), an unreadable entry, or an entry of a kind the walk cannot read.
std::string forEachAllowEntry(PSECURITY_DESCRIPTOR descriptor, ChildrenOnlyEntries childrenOnly,
                              const std::function<bool(const AllowEntry&)>& visit);

// The trusted owners of entry_trust.h and, when not null, `self`: whose grants foreignGrant leaves out.
bool isTrustedPrincipal(PSID sid, PSID self);

// Whether the elevated run trusts an entry is entryDistrust's to say (entry_trust.h); this lists grants on the
// object itself. The first allow entry that gives an untrusted principal any right in `rights` (file rights; generic
// rights in entries are mapped first), as text; empty when there is none. Entries that apply only to
// children are left out, deny entries are ignored (the check never counts on them), and an entry of a kind
// it cannot read counts as a grant. A missing access list grants everything to everyone.
std::string foreignGrant(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights, PSID self);

// True when the descriptor carries a mandatory label below medium integrity.
bool hasLowIntegrityLabel(PSECURITY_DESCRIPTOR descriptor);

// The user account of the process token, as a SID in `buffer` (SECURITY_MAX_SID_SIZE bytes); null on failure.
PSID processUserSid(BYTE (&buffer)[SECURITY_MAX_SID_SIZE]);

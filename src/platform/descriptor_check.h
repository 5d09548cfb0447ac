// Reading a security descriptor as an attacker would: which principal, other than the trusted ones, may do
// what to the object it protects.
#pragma once

#include <windows.h>

#include <string>

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

// Whether a file or folder the elevated run relies on could have been changed by anyone but the machine's
// administrators, judged from its owner and access list.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/link_check.h"
#include "platform/win_handles.h"

// Rights that let a principal change a file: its bytes, attributes, access list or owner, or remove it.
constexpr ACCESS_MASK kFileChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                          DELETE | WRITE_DAC | WRITE_OWNER;
// Rights that let a principal change what a folder holds or where it leads: remove or rename its entries, or
// change the folder's own access list or owner. Adding files is not among them: a file someone else adds has
// an owner the check refuses, and the common application-data folder gives every user that right.
constexpr ACCESS_MASK kFolderChangeRights = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;
// Rights that let a principal add to a folder or change its attributes: guarded too where only administrators
// may write at all (the package cache).
constexpr ACCESS_MASK kFolderAddRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES;

// SYSTEM, the Administrators group and TrustedInstaller: the only owners and grantees trusted.
bool isTrustedOwner(PSID sid);
// The same three, whatever isTrustedOwner was linked as (platform/owner_trust_running_account.h).
bool isBuiltInTrustedOwner(PSID sid);

// Why an entry with this descriptor is not trusted, empty when it is: its owner is not trusted, it has no
// access list, or an allow entry gives an untrusted principal a change right. Entries that pass down to what
// is created inside count with the rights they give there (file rights to files, folder rights to folders):
// whoever holds them gets those rights over every child made later. `alsoGuarded` adds folder rights to those
// judged, on the folder and on the folders made inside it.
std::string entryDistrust(PSECURITY_DESCRIPTOR descriptor, EntryKind kind, ACCESS_MASK alsoGuarded = 0);

// The untrusted principals (SID texts) that may change an entry with this descriptor, leaving out `exempt`
// (may be null): the owner of a file that an administrator named on purpose.
std::vector<std::string> principalsWhoMayChange(PSECURITY_DESCRIPTOR descriptor, EntryKind kind, PSID exempt);

// The owner and access list of an open entry (opened with READ_CONTROL); the Win32 error code, 0 on success.
DWORD readEntrySecurity(HANDLE entry, LocalMemory<PSECURITY_DESCRIPTOR>& descriptor);

// Tests supply descriptors through this, since Wine keeps no access lists on files. Null restores the system's.
using EntrySecurityReader = DWORD (*)(HANDLE entry, LocalMemory<PSECURITY_DESCRIPTOR>& descriptor);
void setEntrySecurityReader(EntrySecurityReader reader);

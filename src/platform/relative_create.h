// Opening and creating entries by one name relative to a held folder handle (renames go through relative_entries):
// no full path is resolved again between the check of a folder and its use, so a folder renamed or swapped
// meanwhile cannot redirect it.
#pragma once

#include <windows.h>

#include <string>

#include "platform/link_check.h"
#include "platform/relative_entries.h"
#include "platform/win_handles.h"

enum class OpenOnly { AnyEntry, NotAFolder };
// Opens whatever entry `name` (one path component) is in `folder`, a link itself rather than what it leads to,
// for synchronous reads and writes; with NotAFolder, a folder of that name is refused with ERROR_ACCESS_DENIED,
// as a file open refuses it. ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when there is none, or the Win32 error.
DWORD openRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share, UniqueFile& entry,
                   OpenOnly only = OpenOnly::AnyEntry);

// Creates the file or folder `name` in `folder` with `descriptor` as its owner and access list from the start;
// ERROR_ALREADY_EXISTS (nothing opened) when the name is taken by anything, link or not.
DWORD createRelative(HANDLE folder, const std::wstring& name, EntryKind kind, ACCESS_MASK access, DWORD share,
                     PSECURITY_DESCRIPTOR descriptor, UniqueFile& entry);

// Tests put a recorder in front of every create, since Wine keeps no access list to read back. Null removes it.
using RelativeCreateRecorder = void (*)(const std::wstring& name, EntryKind kind, PSECURITY_DESCRIPTOR descriptor);
void setRelativeCreateRecorder(RelativeCreateRecorder recorder);

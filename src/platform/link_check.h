// Whether a file or folder opened without following reparse points is the plain entry it should be.
#pragma once

#include <windows.h>

#include <string>

enum class EntryKind { File, Folder };

// Why an entry with these facts must not be used as `expected`; empty when it may. A reparse point (junction,
// symbolic link, mount point) leads elsewhere, and a file with more than one name is also some other file.
std::string unsafeEntryReason(DWORD attributes, DWORD links, EntryKind expected);

// The same, read from a handle opened with FILE_FLAG_OPEN_REPARSE_POINT.
std::string unsafeOpenedEntry(HANDLE entry, EntryKind expected);

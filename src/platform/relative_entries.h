// Files and folders opened, made, renamed and deleted by a name inside an open folder's handle: the name is never
// resolved from a path again, so whoever may rename in the folders above cannot change what it leads to.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win_handles.h"

// What an open may find or make. Links (junctions, symbolic links) are always opened as themselves.
enum class RelativeKind {
    Folder,  // must be a folder
    File,    // must not be a folder
    Any,     // whatever is there; the caller checks it from the handle
};

enum class RelativeDisposition {
    Open,          // ERROR_FILE_NOT_FOUND when nothing has the name
    Create,        // ERROR_ALREADY_EXISTS when something has the name already
    OpenOrCreate,  // `created` tells which
};

struct RelativeRequest {
    ACCESS_MASK access;
    DWORD share;
    RelativeDisposition disposition;
    RelativeKind kind;
    // The final descriptor of a new entry, given in the call that creates it; null: inherited from the folder.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
};

// Opens or makes `name` (one name, no separators) inside the open `folder`, for synchronous use. 0 or the Win32
// error code; `created` (may be null) says whether the entry was made by this call.
DWORD openRelative(HANDLE folder, const std::wstring& name, const RelativeRequest& request, UniqueFile& entry,
                   bool* created = nullptr);

// The attributes of the entry `name` inside the open `folder` (opened with FILE_LIST_DIRECTORY), read from the
// folder's listing: a link shows as a reparse point there also where an open goes through it (Wine follows a
// Unix symbolic link even when asked not to). 0, ERROR_FILE_NOT_FOUND, or the Win32 error code.
DWORD relativeAttributes(HANDLE folder, const std::wstring& name, DWORD& attributes);

enum class RenameMode {
    KeepExisting,     // fails with ERROR_ALREADY_EXISTS when the name is taken
    Replace,          // replaces a file of that name that nobody has open
    ReplaceWhileOpen  // replaces it even while others hold it with delete sharing; not every system can
};
// Gives the open entry (opened with DELETE) the name `newName` inside the open `folder`; by default never replaces
// an entry that has that name. 0 or the Win32 error code.
DWORD renameRelative(HANDLE entry, HANDLE folder, const std::wstring& newName,
                     RenameMode mode = RenameMode::KeepExisting);

// Opens the entry that `entry` is open on once more, with other access, without resolving any name.
DWORD reopenEntry(HANDLE entry, ACCESS_MASK access, DWORD share, UniqueFile& again);

// Marks the open entry (opened with DELETE) to be deleted when its last handle closes, or takes the mark back; a
// folder must be empty. 0 or the Win32 error code.
DWORD setRemoveOnClose(HANDLE entry, bool remove);

// Opens `name` inside `folder` as itself (a link is removed, never followed) and deletes it. 0, or the Win32
// error code (ERROR_FILE_NOT_FOUND when nothing has the name).
DWORD deleteRelative(HANDLE folder, const std::wstring& name);

// One entry of a folder's listing.
struct FolderEntry {
    std::wstring name;
    DWORD attributes;
    LONGLONG lastWrite;
};

// The entries of the open folder (opened with FILE_LIST_DIRECTORY), from the first one however often the handle
// is listed, "." and ".." left out. 0 or the Win32 error; what was listed before an error stays in `entries`.
DWORD listFolder(HANDLE folder, std::vector<FolderEntry>& entries);

// Tests put a recorder in front of openRelative, since Wine keeps no access list to read back. Null restores
// openRelativeDirectly.
using RelativeOpener = DWORD (*)(HANDLE folder, const std::wstring& name, const RelativeRequest& request,
                                 UniqueFile& entry, bool* created);
void setRelativeOpener(RelativeOpener opener);
// The system's own open, for a recorder to pass the call on to.
DWORD openRelativeDirectly(HANDLE folder, const std::wstring& name, const RelativeRequest& request, UniqueFile& entry,
                           bool* created);

// The folders of the package cache and the guard chain: each made or opened through the held handle of the one
// above, checked from its own handle and held while the run lasts.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "launcher/run_holds.h"

enum class FolderRole {
    Shared,     // keeps its access, made when missing (the guard flag's folders, written as the user)
    System,     // the system's own (the common application data folder and those above it): never made
    Protected,  // only SYSTEM and administrators may change it: an untrusted one is set aside, a new one made
    Fresh,      // made new by this run; one already there is refused
};

// Logs why a folder of a chain could not be made (`folder` is its path with a trailing separator).
using CreationFailure = void (*)(const char* folder, DWORD code);

// One folder below a chain's root.
struct ChainLink {
    const char* name;
    FolderRole role;
    CreationFailure failure;  // null: a folder that cannot be made is reported as tampering
};

// The descriptor, as SDDL, that Protected and Fresh folders are made with, and that an existing Protected folder
// must be as strict as: owner administrators; SYSTEM and administrators full access, users read and list, passed
// down to what is made inside; nothing inherited from above.
std::wstring cacheFolderSecurityText();

// Holds `root` (opened by its path, made when missing; nothing above it is the run's; a volume root such as "C:\"
// is opened as the root), then each folder of `links` in turn, made or opened by its name inside the held handle
// of the folder above, so that no name is resolved from a path again. A Shared folder is made with the access
// it inherits; Protected and Fresh folders are made with cacheFolderSecurityText() in the call that makes them.
// An existing Protected folder whose owner is not trusted or that lets anyone else write is renamed aside
// through its own handle, emptied, and a new one made in its place; it is never repaired. Every folder is a
// plain folder (checked from its handle) and is held without delete sharing, so that it cannot be renamed,
// removed or replaced while the run lasts; one already held is not opened again. False after
// holds.reportTampering (under the name `function`), or after the link's own `failure` record.
bool holdFolderChain(RunHolds& holds, const char* root, const ChainLink* links, size_t count, const char* function);

template <size_t N>
bool holdFolderChain(RunHolds& holds, const char* root, const ChainLink (&links)[N], const char* function) {
    return holdFolderChain(holds, root, links, N, function);
}

// The held handle of the folder at `path` (trailing separators ignored), null when the run does not hold it.
// It stays owned by `holds`.
HANDLE heldFolder(const RunHolds& holds, const std::string& path);

// The key under which a payload file at `path` is held.
std::string heldFileKey(const std::string& path);
// Whether a held folder's or file's key names `path` or an entry below it.
bool heldKeyWithin(const std::string& key, const std::string& path);

// Removes what the open `folder` (opened with FILE_LIST_DIRECTORY) holds, each entry as itself (a link is
// removed, never followed), plain folders with their contents down to `depth` levels. Best effort: what cannot
// be removed stays. True when the folder is empty afterwards.
bool emptyFolder(HANDLE folder, int depth);

// Removes `name` inside the held `parent` with its contents (as emptyFolder, `depth` levels). 0, or the Win32
// error of the last removal that failed.
DWORD removeEntryTree(HANDLE parent, const std::wstring& name, int depth);

// The folders of the payload and guard chain: each made or opened through the held handle of the one above,
// checked from its own handle and held while the run lasts.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "launcher/run_holds.h"

enum class FolderRole {
    Shared,  // keeps its access (the folders above the leaves also hold the guard flag, written as the user)
    Leaf,    // tbx<version>_x64 and AU: only SYSTEM and administrators may write in them
};

// Logs why a folder of a chain could not be made (`folder` is its path with a trailing separator).
using CreationFailure = void (*)(const char* folder, DWORD code);

// One folder below a chain's root.
struct ChainLink {
    const char* name;
    FolderRole role;
    CreationFailure failure;  // null: a folder that cannot be made is reported as tampering
};

// Holds `root` (opened by its path, made when missing; nothing above it is the run's), then each folder of
// `links` in turn, made or opened by its name inside the held handle of the folder above, so that no name is
// resolved from a path again. A Shared folder is made with the access it inherits; a Leaf is made with
// leafFolderSecurityText() in the call that makes it. An existing Leaf whose owner or access list is not trusted
// is renamed aside through its own handle and a new one made in its place; it is never repaired. Every folder
// is a plain folder (checked from its handle) and is held without delete sharing, so that it cannot be renamed,
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

// The leaf folders' security descriptor as SDDL: owner administrators; SYSTEM and administrators full
// access, everyone read, inherited by what is created inside; not inheriting from above; medium integrity.
std::wstring leafFolderSecurityText();

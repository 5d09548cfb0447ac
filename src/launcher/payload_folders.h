// The folders of the payload and guard chain: checked from their handles and held while the run lasts.
#pragma once

#include <string>

#include "launcher/run_holds.h"

enum class FolderRole {
    Shared,  // keeps its access (the folders above the leaves also hold the guard flag, written as the user)
    Leaf,    // tbx<version>_x64 and AU: only SYSTEM and administrators may write in them
};

// Creates `path` when missing (a leaf with the protected access list), opens it without following a reparse
// point, checks from the handle that it is a plain folder, brings a leaf to the protected access list, and
// holds it in `holds` without delete sharing, so it cannot be renamed, removed or replaced by a link
// afterwards. A folder already held is not opened again. False after holds.reportTampering (under the name
// `function`) when the folder cannot be used.
bool holdPayloadFolder(RunHolds& holds, const char* path, FolderRole role, const char* function);

// The leaf folders' security descriptor as SDDL: owner administrators; SYSTEM and administrators full
// access, everyone read, inherited by what is created inside; not inheriting from above; medium integrity.
std::wstring leafFolderSecurityText();

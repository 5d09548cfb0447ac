// The per-user path of the run (the guard flag), built from the one per-user data folder; the folders of its
// chain are created, checked and held on the way.
#pragma once

#include <windows.h>

#include "launcher/run_holds.h"
#include "launcher/user_data_folder.h"

class PerUserPaths {
public:
    // The folders of every chain are held in `holds`, which outlives this object.
    explicit PerUserPaths(RunHolds& holds_) : holds(&holds_) {}

    // Finds the per-user data folder: 0, or the code of GetUserDataFolderChecked (after its ERROR record).
    DWORD locate();
    const char* userDataFolder() const { return userData; }

    // Builds the guard flag's path below the folder found by locate, creating each folder of the chain,
    // checking it from its handle and holding it (the user may write in those folders, so any of them could be
    // replaced by a link). False when a name does not fit (logged), or after a tampering report.
    bool guardFlag(char (&path)[MAX_PATH]) const;

private:
    RunHolds* holds;
    char userData[kUserDataFolderSize] = "";
};

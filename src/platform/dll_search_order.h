// Where the process may load libraries from, restricted before any other code of the program runs.
#pragma once

enum class DllSearchAtStart {
    NotRun,            // the start-up entry did not run (it is not linked into this program)
    SystemFolderOnly,  // later loads by name look in the system folder only
    NoCurrentFolder,   // the system lacks that restriction: only the current folder was taken out
};

// What the start-up entry did.
DllSearchAtStart dllSearchAtStart();

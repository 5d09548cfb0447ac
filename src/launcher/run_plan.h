// The run's decisions as pure functions: the plan made from the options and the machine's facts before anything
// changes, and what follows the kit's engine run (which steps follow, when the runtime settings are put back, and
// the exit code).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "launcher/run_options.h"
#include "products/removal.h"

// Whether the engine runs a second time: the installed product asked for a reinstall, and Windows is not
// restarting already.
bool needsReinstallPass(int engineExitCode, const char* installStatus);

// What the kit's engine run came to.
struct KitRunOutcome {
    int engineExitCode = 0;
    bool silent = false;
    bool publicRuntimeSelected = false;  // the installer arguments select the public runtime's feature
};

struct AfterKitPlan {
    bool restoreSettings = false;  // the runtime settings file is put back as it was
    bool endsNow = false;          // nothing else runs; the run ends with exitCode
    int exitCode = 0;              // the run's code so far
    bool runPublicRuntime = false;
    bool tryAutoUpdate = false;    // when the public runtime of this version is installed
};

AfterKitPlan planAfterKitRun(const KitRunOutcome& outcome);

// The exit code once everything after the engine has run. A removal before the install that wanted a restart
// makes a plain success a pending restart.
int finalExitCode(int exitCodeSoFar, bool removalWantsRestart);

// Whether the kit's engine installed the kit, a restart pending or under way.
bool kitInstalled(int engineExitCode);

// Whether the installer arguments select the public runtime's feature (or leave the default feature list).
bool selectsPublicRuntime(const char* installerArguments);

// What the machine looked like before the run changed anything; gathered by read-only probes.
struct MachineFacts {
    WORD langId = 1033;            // the UI language, "/lang" applied
    bool is64 = true;
    std::string userDataFolder;    // the per-user folder the guard flag goes below
    std::string programDataFolder; // the common application data folder, below which the package cache lies;
                                   // empty when it cannot be found
    std::string runFolderName;     // this run's new folder in the package cache
    ULONGLONG payloadBytes = 0;    // the payload files the launcher carries, together
    ULONGLONG freeBytes = ~0ULL;   // free for this account on the common application data folder's drive
    bool guardHeld = false;        // another installation of the kit runs
    bool oldWindows = false;       // older than Windows 6.0: only a warning
    SameVersionFacts installed;    // the kit and runtime of this version
    bool installerBusy = false;    // another installation holds the Windows Installer now
    bool cabinetEventTaken = false;  // another program has made the cabinet event already
    bool kitDatabaseCarried = true;
    std::string msiexecPath;       // empty: the engine cannot be found
    std::string engineLogFolder;   // where each engine run writes its own log; empty: no engine logs
};

// Why the run stops before it changes anything, and its code.
struct Refusal {
    int exitCode = 0;
    std::string why;
};

// Everything the run will do, decided before the first change.
struct RunPlan {
    std::optional<Refusal> refusal;  // from facts that stay: the run ends here, after its guard and checks
    bool newerBuildInstalled = false;
    std::vector<ProductRemoval> removals;  // in order, before the kit is written
    std::vector<std::string> removalCommands;
    std::string payloadFolder;       // this run's folder in the package cache: every payload file goes there
    ULONGLONG payloadBytes = 0;      // what the payload needs there
    std::string kitDatabase;
    std::string autoUpdateDatabase;
    std::string installerArguments;  // the options' arguments with the silent defaults
    std::string kitCommand;          // the engine's whole command line for the kit
    bool publicRuntimeAfterKit = false;  // silent runs whose features include the public runtime
    // After a removal another installation may take the Windows Installer before the kit's run: wait for it
    // under the same rule and run the install once more.
    bool retryBusyAfterRemoval = false;
    int installerWaitSeconds = 0;
    // The code the run ends with when every step goes as planned and the engine installs; what a /check
    // reports. A guard held or a busy installer now counts, though they may be gone when the run gets there.
    int expectedExitCode = 0;
    std::string expectation;
};

RunPlan planRun(const RunOptions& options, const MachineFacts& facts);

// The run's decisions after the kit's engine run, as pure functions of what happened: which steps follow, when
// the runtime settings are put back, and the exit code.
#pragma once

#include <windows.h>

// Whether the engine runs a second time: the installed product asked for a reinstall, and Windows is not
// restarting already.
bool needsReinstallPass(int engineExitCode, const char* installStatus);

// What the kit's engine run and the cabinet thread beside it came to.
struct KitRunOutcome {
    int engineExitCode = 0;
    bool cabinetsWritten = true;    // the cabinet thread started and wrote every cabinet
    bool cabinetsTampered = false;  // a cabinet or its folder was changed by someone else
    DWORD cabinetError = ERROR_SUCCESS;
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
int finalExitCode(int exitCodeSoFar, bool removalWantsRestart, bool autoUpdateTampered);

// Whether the installer arguments select the public runtime's feature (or leave the default feature list).
bool selectsPublicRuntime(const char* installerArguments);

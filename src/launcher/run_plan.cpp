// The decisions after the kit's engine run; nothing here touches the machine.
#include "launcher/run_plan.h"

#include <cstring>

#include "process/engine_result.h"
#include "process/exit_codes.h"

bool needsReinstallPass(int engineExitCode, const char* installStatus) {
    // Windows is already restarting: nothing may run after it.
    if (engineExitCode == kExitEngineRebootStarted) return false;
    return std::strcmp(installStatus, "reinstall") == 0;
}

AfterKitPlan planAfterKitRun(const KitRunOutcome& outcome) {
    AfterKitPlan plan;
    const bool installed = engineSucceeded(outcome.engineExitCode);
    plan.exitCode = outcome.engineExitCode;
    if (!outcome.cabinetsWritten) {
        plan.restoreSettings = !installed;
        // The engine found a cabinet missing and failed; the write's own failure tells the admin why.
        plan.endsNow = true;
        if (outcome.cabinetsTampered)
            plan.exitCode = kExitTampered;
        else
            plan.exitCode = outcome.cabinetError != ERROR_SUCCESS ? static_cast<int>(outcome.cabinetError)
                                                                  : kExitFunctionFailed;
        return plan;
    }
    if (outcome.engineExitCode == kExitEngineRebootStarted) {
        // Installed, and Windows is restarting: nothing more may run.
        plan.endsNow = true;
        return plan;
    }
    plan.restoreSettings = !installed;
    plan.runPublicRuntime = outcome.silent && outcome.publicRuntimeSelected;
    plan.tryAutoUpdate = installed;
    return plan;
}

int finalExitCode(int exitCodeSoFar, bool removalWantsRestart, bool autoUpdateTampered) {
    if (autoUpdateTampered) return kExitTampered;
    if (exitCodeSoFar == kExitSuccess && removalWantsRestart) return kExitEngineRebootRequired;
    return exitCodeSoFar;
}

bool selectsPublicRuntime(const char* installerArguments) {
    return std::strstr(installerArguments, "PublicplnFeature") || std::strstr(installerArguments, "ADDLOCAL=ALL") ||
           !std::strstr(installerArguments, "ADDLOCAL");
}

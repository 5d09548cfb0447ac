// What follows the kit's engine run: the settings put back after a failure, the public runtime, the
// auto-update component and the run's final code.
#include <string>

#include "buildinfo/build_constants.h"
#include "launcher/escaped_exception.h"
#include "launcher/install_steps.h"
#include "launcher/package_cache_layout.h"
#include "launcher/public_runtime.h"
#include "launcher/installer_wait_step.h"
#include "platform/logger.h"
#include "platform/registry_key.h"
#include "platform/tstrings.h"
#include "products/auto_update.h"

namespace {

bool isRuntimeOfThisVersionInstalled() {
    std::string keyPath = std::string("SOFTWARE\\Zoltsys\\Zolt Runtime Environment\\") + buildconstants::productVersion;
    RegistryKey key;
    return key.Open(HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_READ) == ERROR_SUCCESS;
}

}  // namespace

StepResult restoreSettingsAfterFailure(RunContext& run) {
    if (!run.afterKit.restoreSettings) return StepResult::proceed();
    logit(tstrings::format("TBX installation failed.  Return Code: %d, ErrorCode: %d", run.afterKit.exitCode,
                           static_cast<int>(GetLastError()))
              .c_str());
    run.config->RestoreConfigSettings();
    return StepResult::proceed();
}

// The public runtime that the fresh kit carries; its result never changes the exit code.
StepResult installPublicRuntime(RunContext& run) {
    if (!run.afterKit.runPublicRuntime) return StepResult::proceed();
    const RunOptions& options = *run.options;
    installPublicRuntime(options.publicRuntimeDir.c_str(), options.noStartMenu, options.reallySuppress,
                         &run.engineLogs);
    return StepResult::proceed();
}

// The auto-update component never decides the run's exit code, also when it fails unexpectedly.
StepResult installAutoUpdate(RunContext& run) {
    if (!run.afterKit.tryAutoUpdate) return StepResult::proceed();
    if (!isRuntimeOfThisVersionInstalled()) {
        TBX_LOG_AS("WinMain", LOG_INFO,
                   std::string("The auto-update component is not installed: the public runtime ") +
                       buildconstants::productVersion +
                       " is not registered (it is installed by silent runs whose features include it).");
        return StepResult::proceed();
    }
    // Skipped, with a WARNING, while another installation keeps the installer busy.
    if (!installerFreeForAutoUpdate(run.options->installerWaitSeconds)) return StepResult::proceed();
    // The launcher carries no auto-update database: nothing to install.
    if (!run.cache.wrote(packageCacheLayout::autoUpdateDatabaseName())) return StepResult::proceed();
    try {
        // Written, verified and held with the kit's payload before anything changed.
        InstallAutoUpdate(run.plan->autoUpdateDatabase.c_str(), run.options->autoUpdate, &run.engineLogs);
    } catch (...) {
        logEscapedException(TBX_HERE_AS("WinMain"));
    }
    return StepResult::proceed();
}

StepResult endWithKitResult(RunContext& run) {
    return StepResult::endRun(finalExitCode(run.afterKit.exitCode, run.removalWantsRestart), "");
}

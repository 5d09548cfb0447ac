// The kit's steps: the checks before the first change, the payload, the removal of the same version, the export
// and the engine runs.
#include <string>

#include "launcher/install_command.h"
#include "launcher/install_guard.h"
#include "launcher/install_steps.h"
#include "launcher/installer_wait_step.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/tstrings.h"
#include "process/executor.h"
#include "process/installer_lock.h"
#include "products/removal.h"

namespace {

constexpr size_t kInstallFlagBufferSize = 512;

// The kit's command for one engine run: with an engine log of its own unless the administrator named the log
// (`logs` null), and without one (after a WARNING) when it would not fit the command buffer.
std::string kitCommandFor(const std::string& command, EngineLogs* logs, const char* package) {
    if (!logs) return command;
    // The space the INSTALLDIR argument ends with is the runner's to trim, not the engine's to see mid-line.
    const std::string logged = command.substr(0, command.find_last_not_of(' ') + 1) + logs->switchFor(package);
    if (logged.size() < kCommandBufferSize) return logged;
    TBX_LOG_AS("WinMain", LOG_WARNING, "The kit's command with its engine log does not fit its buffer; it runs "
                                       "without the log.");
    return command;
}

// One engine run of the kit, and once more when the installed product asks for a reinstall.
int runEnginePasses(const char* msiexecPath, const std::string& command, EngineLogs* logs) {
    int exitCode =
        static_cast<int>(Executor::ExecProcessWithAtlMessageLoop(msiexecPath, kitCommandFor(command, logs, "kit")));
    char installStatus[kInstallFlagBufferSize] = "";
    if (exitCode != kExitEngineRebootStarted) ReadInstallStatus(installStatus, sizeof installStatus);
    if (needsReinstallPass(exitCode, installStatus)) {
        ClearInstallStatus();
        exitCode = static_cast<int>(
            Executor::ExecProcessWithAtlMessageLoop(msiexecPath, kitCommandFor(command, logs, "kit-reinstall")));
    }
    return exitCode;
}

}  // namespace

StepResult checkSettingsWritable(RunContext& run) {
    // Found before anything is removed: a settings file that cannot be written would otherwise stop the run
    // after the installed kit is gone.
    if (run.config->checkRuntimeConfigWritable() != 0) {
        logit("Error occurred while exporting configuration settings. Exiting installer.");
        return StepResult::endRun(kExitConfigurationRefused, "the runtime settings file cannot be written");
    }
    return StepResult::proceed();
}

StepResult waitForInstaller(RunContext& run) {
    return waitForInstallerStep(run.instance, run.prompter, run.options->installerWaitSeconds);
}

StepResult removeSameVersion(RunContext& run) {
    if (!applyRemovals(run.plan->removals, run.options->silent, &run.removalWantsRestart, &run.engineLogs))
        return StepResult::endRun(kExitFailed, "the installed kit or runtime of this version was not removed");
    return StepResult::proceed();
}

StepResult writePayload(RunContext& run) {
    const RunPlan& plan = *run.plan;
    // Every folder from the volume root down is held before anything is written, and the whole payload is
    // written and read back before anything is removed: a failure here loses nothing.
    if (!run.cache.holdRunFolder(run.facts.programDataFolder, run.facts.is64, run.facts.runFolderName))
        return StepResult::endRun(kExitTampered, "a folder of the package cache");
    if (run.cache.runFolder() != plan.payloadFolder)
        return StepResult::endRun(kExitFunctionFailed, "the package cache folder is not the planned one");
    const PayloadWriteResult written = run.cache.write(run.instance, payloadWriteFunction());
    if (written.tampered) return StepResult::endRun(kExitTampered, "a payload file was changed");
    if (!written.ok())
        return StepResult::endRun(reportSystemError(written.what, written.error, run.prompter), written.what,
                                  written.error);
    // The cabinets are complete before the engine starts: the kit database's wait for them returns at once.
    if (!SetEvent(run.cabEvent.get()))
        return StepResult::endRun(kExitFailed, "the cabinet event cannot be set", GetLastError());
    TBX_LOG_AS("WinMain", LOG_INFO,
               "The payload is written and verified in " + plan.payloadFolder + " (" +
                   std::to_string(plan.payloadBytes) + " bytes).");
    logit(tstrings::format("szTBXExeCommand = %s\n", plan.kitCommand.c_str()).c_str());
    return StepResult::proceed();
}

StepResult exportSettings(RunContext& run) {
    // Swept by every run that gets this far, exporting or not; a run refused earlier leaves them as they are.
    run.config->removeSettingsLeftovers();
    if (run.config->exportRuntimeConfig() != 0) {
        logit("Error occurred while exporting configuration settings. Exiting installer.");
        return StepResult::endRun(kExitConfigurationRefused, "the runtime settings export failed");
    }
    return StepResult::proceed();
}

StepResult runKitEngine(RunContext& run) {
    const RunPlan& plan = *run.plan;
    const char* msiexecPath = run.facts.msiexecPath.c_str();
    // The administrator's own /l names the kit's log.
    EngineLogs* logs = run.options->installerLogFile.empty() ? &run.engineLogs : nullptr;
    KitRunOutcome outcome;
    outcome.engineExitCode = runEnginePasses(msiexecPath, plan.kitCommand, logs);
    // The removal is done: ending now would leave the machine without the kit. Wait for the other installation
    // as before the first change, and install once more.
    if (outcome.engineExitCode == kExitInstallerBusy && plan.retryBusyAfterRemoval) {
        TBX_LOG_AS("WinMain", LOG_WARNING,
                   "Another installation took the Windows Installer after the removal; waiting for it to install "
                   "the kit again.");
        if (waitForInstallerLock(static_cast<unsigned>(plan.installerWaitSeconds)))
            outcome.engineExitCode = runEnginePasses(msiexecPath, plan.kitCommand, logs);
        if (outcome.engineExitCode == kExitInstallerBusy)
            TBX_LOG_AS("WinMain", LOG_ERROR,
                       "The Windows Installer stayed busy: the kit of this version was removed and is not "
                       "installed; running the launcher again installs it.");
    }
    run.kitInstalled = kitInstalled(outcome.engineExitCode);
    outcome.silent = run.options->silent;
    outcome.publicRuntimeSelected = plan.publicRuntimeAfterKit;
    run.afterKit = planAfterKitRun(outcome);
    if (run.afterKit.endsNow) return StepResult::endRun(run.afterKit.exitCode, "");
    return StepResult::proceed();
}

// The kit's steps: the checks before the first change, the removal of the same version, the database, the export
// and the engine runs.
#include <string>

#include "buildinfo/payload_resources.h"
#include "launcher/cabinet_writer.h"
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

// One engine run of the kit, and once more when the installed product asks for a reinstall. Until the cabinets
// are complete the engine ends with the launcher: without them it could only wait, then fail.
int runEnginePasses(const char* msiexecPath, const std::string& command, EngineLogs* logs, HANDLE cabinetsComplete) {
    int exitCode = static_cast<int>(
        Executor::ExecProcessWithAtlMessageLoop(msiexecPath, kitCommandFor(command, logs, "kit"), cabinetsComplete));
    char installStatus[kInstallFlagBufferSize] = "";
    if (exitCode != kExitEngineRebootStarted) ReadInstallStatus(installStatus, sizeof installStatus);
    if (needsReinstallPass(exitCode, installStatus)) {
        ClearInstallStatus();
        exitCode = static_cast<int>(Executor::ExecProcessWithAtlMessageLoop(
            msiexecPath, kitCommandFor(command, logs, "kit-reinstall"), cabinetsComplete));
    }
    return exitCode;
}

}  // namespace

StepResult checkSettingsWritable(RunContext& run) {
    // Found before anything is removed: a settings file that cannot be written would otherwise stop the run
    // after the installed kit is gone.
    run.config->removeSettingsLeftovers();
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

StepResult writeKitDatabase(RunContext& run) {
    HRSRC kitDatabase = FindResourceA(run.instance, MAKEINTRESOURCEA(TBX_RES_KIT_MSI), TBX_RES_TYPE_INSTALLER);
    if (!kitDatabase) return StepResult::endRun(kExitNoKitDatabase, "the launcher carries no kit database");
    const PayloadWriteResult written = WriteResourceToFile(run.holds, run.instance, run.msiPath, kitDatabase);
    if (written.tampered) return StepResult::endRun(kExitTampered, "the kit database was changed");
    if (!written.ok())
        return StepResult::endRun(reportSystemError(written.what, written.error, run.prompter), written.what,
                                  written.error);
    logit(tstrings::format("szTBXExeCommand = %s\n", run.plan->kitCommand.c_str()).c_str());
    return StepResult::proceed();
}

StepResult exportSettings(RunContext& run) {
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
    {
        CabinetWriter cabinets(run.instance, run.paths, run.facts.is64, run.cabEvent.get());
        outcome.engineExitCode = runEnginePasses(msiexecPath, plan.kitCommand, logs, run.cabEvent.get());
        // The removal is done: ending now would leave the machine without the kit. Wait for the other
        // installation as before the first change, and install once more.
        if (outcome.engineExitCode == kExitInstallerBusy && plan.retryBusyAfterRemoval) {
            TBX_LOG_AS("WinMain", LOG_WARNING,
                       "Another installation took the Windows Installer after the removal; waiting for it to "
                       "install the kit again.");
            if (waitForInstallerLock(static_cast<unsigned>(plan.installerWaitSeconds)))
                outcome.engineExitCode = runEnginePasses(msiexecPath, plan.kitCommand, logs, run.cabEvent.get());
            if (outcome.engineExitCode == kExitInstallerBusy)
                TBX_LOG_AS("WinMain", LOG_ERROR,
                           "The Windows Installer stayed busy: the kit of this version was removed and is not "
                           "installed; running the launcher again installs it.");
        }
        const PayloadWriteResult cabinetResult = cabinets.finish();
        outcome.cabinetsWritten = cabinetResult.ok();
        outcome.cabinetsTampered = cabinetResult.tampered;
        outcome.cabinetError = cabinetResult.error;
        // The write's own failure tells the admin why the engine found a cabinet missing.
        if (!cabinetResult.ok() && !cabinetResult.tampered)
            reportSystemError(cabinetResult.what, cabinetResult.error, run.prompter);
    }
    outcome.silent = run.options->silent;
    outcome.publicRuntimeSelected = plan.publicRuntimeAfterKit;
    run.afterKit = planAfterKitRun(outcome);
    if (run.afterKit.endsNow) {
        if (run.afterKit.restoreSettings) run.config->RestoreConfigSettings();
        return StepResult::endRun(run.afterKit.exitCode, outcome.cabinetsWritten ? "" : "the cabinets",
                                  outcome.cabinetError);
    }
    return StepResult::proceed();
}

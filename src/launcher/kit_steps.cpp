// The kit's steps: removal of the same version, the database, the engine command, the export and the engine runs.
#include <string>

#include "buildinfo/payload_resources.h"
#include "launcher/cabinet_writer.h"
#include "launcher/install_guard.h"
#include "launcher/install_steps.h"
#include "launcher/installer_wait_step.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/tstrings.h"
#include "process/executor.h"
#include "process/msiexec_path.h"
#include "products/removal.h"

namespace {

constexpr size_t kInstallFlagBufferSize = 512;

// One engine run of the kit, and once more when the installed product asks for a reinstall. Until the cabinets
// are complete the engine ends with the launcher: without them it could only wait, then fail.
int runEnginePasses(const char* msiexecPath, const char* command, HANDLE cabinetsComplete) {
    int exitCode =
        static_cast<int>(Executor::ExecProcessWithAtlMessageLoop(msiexecPath, command, cabinetsComplete));
    char installStatus[kInstallFlagBufferSize] = "";
    if (exitCode != kExitEngineRebootStarted) ReadInstallStatus(installStatus, sizeof installStatus);
    if (needsReinstallPass(exitCode, installStatus)) {
        ClearInstallStatus();
        exitCode = static_cast<int>(Executor::ExecProcessWithAtlMessageLoop(msiexecPath, command, cabinetsComplete));
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
    return waitForInstallerStep(run.instance, run.silent, run.config->installerWaitSeconds());
}

StepResult removeSameVersion(RunContext& run) {
    if (!UninstallPLNOrTBXIfSameVersionExists(run.silent, &run.removalWantsRestart))
        return StepResult::endRun(kExitFailed, "the installed kit or runtime of this version");
    return StepResult::proceed();
}

StepResult writeKitDatabase(RunContext& run) {
    if (!run.paths.kitDatabase(run.msiPath, run.is64)) {
        if (run.holds.tampered()) return StepResult::endRun(kExitTampered, "a folder of the kit database's path");
        return StepResult::endRun(kExitPathTooLong, "the kit database path", ERROR_FILENAME_EXCED_RANGE);
    }
    HRSRC kitDatabase = FindResourceA(run.instance, MAKEINTRESOURCEA(TBX_RES_KIT_MSI), TBX_RES_TYPE_INSTALLER);
    // Nothing to install: the run ends as it began.
    if (!kitDatabase) return StepResult::endRun(kExitNoKitDatabase, "the launcher carries no kit database");
    const PayloadWriteResult written = WriteResourceToFile(run.holds, run.instance, run.msiPath, kitDatabase);
    if (written.tampered) return StepResult::endRun(kExitTampered, "the kit database was changed");
    if (!written.ok())
        return StepResult::endRun(reportSystemError(written.what, written.error), written.what, written.error);
    return StepResult::proceed();
}

StepResult composeCommand(RunContext& run) {
    if (!GetMsiexecPath(run.msiexecPath, sizeof run.msiexecPath))
        return StepResult::endRun(kExitEngineNotFound, "msiexec.exe cannot be found");
    InstallerOptions& options = run.options;
    const StepResult tooLong = StepResult::endRun(kExitCommandTooLong, "the installer command does not fit");
    if (run.silent && !AppendSilentArguments(options.installerArguments, run.config->featuresChosen()))
        return tooLong;
    const InstallerCommandParts parts{run.msiexecPath,     run.msiPath, options.installerArguments,
                                      run.langId,          run.config->installerLogFile(),
                                      options.installDir,  options.noStartMenu};
    if (!ComposeInstallerCommand(run.command, parts)) return tooLong;
    logit(tstrings::format("szTBXExeCommand = %s\n", run.command).c_str());
    return StepResult::proceed();
}

StepResult exportSettings(RunContext& run) {
    if (run.config->exportRuntimeConfig() != 0) {
        logit("Error occurred while exporting configuration settings. Exiting installer.");
        return StepResult::endRun(kExitConfigurationRefused, "the runtime settings export");
    }
    return StepResult::proceed();
}

StepResult runKitEngine(RunContext& run) {
    KitRunOutcome outcome;
    {
        CabinetWriter cabinets(run.instance, run.paths, run.is64, run.cabEvent.get());
        outcome.engineExitCode = runEnginePasses(run.msiexecPath, run.command, run.cabEvent.get());
        const PayloadWriteResult cabinetResult = cabinets.finish();
        outcome.cabinetsWritten = cabinetResult.ok();
        outcome.cabinetsTampered = cabinetResult.tampered;
        outcome.cabinetError = cabinetResult.error;
        // The write's own failure tells the admin why the engine found a cabinet missing.
        if (!cabinetResult.ok() && !cabinetResult.tampered) reportSystemError(cabinetResult.what, cabinetResult.error);
    }
    outcome.silent = run.silent;
    outcome.publicRuntimeSelected = selectsPublicRuntime(run.options.installerArguments);
    run.afterKit = planAfterKitRun(outcome);
    if (run.afterKit.endsNow) {
        if (run.afterKit.restoreSettings) run.config->RestoreConfigSettings();
        return StepResult::endRun(run.afterKit.exitCode, outcome.cabinetsWritten ? "" : "the cabinets",
                                  outcome.cabinetError);
    }
    return StepResult::proceed();
}

// The installation run: its steps in order, and the one exit that releases what the run holds and writes the
// final record.
#include "launcher/install_flow.h"

#include <string>

#include "launcher/escaped_exception.h"
#include "launcher/install_steps.h"
#include "platform/logger.h"

namespace {

using Step = StepResult (*)(RunContext&);

// The run, step by step; the first step that ends the run decides its exit code.
constexpr Step kInstallationSteps[] = {
    refuseLinkedLog,              // a log that is a link gets no record: stop first
    prepareProcess,               // library search path, UI language, 32 or 64 bits
    answerHelp,                   // "/?": the usage, and nothing changes
    loadConfiguration,            // defaults, runtime settings, install configuration file, command line
    locatePerUserFolder,          // every per-user path of the run is built from it
    applyLanguageOption,          // "/lang"
    readInstallerOptions,         // the options' values in the flow's fixed buffers
    testGuard,                    // another installation of the kit is running
    warnAboutOldWindows,          // only warns
    setGuard,                     // held until the run ends
    createCabinetEvent,           // ours before anything is removed or written
    checkSettingsWritable,        // found before anything is removed
    waitForInstaller,             // another installation's hold on the Windows Installer
    removeSameVersion,            // an installed kit or runtime of this version
    writeKitDatabase,             // the database, verified and held
    composeCommand,               // msiexec and its command line
    exportSettings,               // the runtime settings file as this run leaves it
    runKitEngine,                 // with the cabinet thread beside it, a second pass on request
    restoreSettingsAfterFailure,  // the runtime settings file as it was
    installPublicRuntime,         // silent runs only
    installAutoUpdate,            // after a successful install
    endWithKitResult,             // the engine's code, or the pending restart of a removal
};

StepResult performSteps(RunContext& run) {
    for (Step step : kInstallationSteps) {
        StepResult result = step(run);
        if (result.endsRun()) return result;
    }
    // The last step always ends the run; this is only reached if the list is changed without one.
    return StepResult::endRun(kExitFunctionFailed, "the run ended without a result");
}

// The one way out: what the run holds is released and the exit code is the last record.
int finishRun(RunContext& run, const StepResult& result) {
    // The engine runs that read the payload have ended.
    run.holds.release();
    run.cabEvent.reset();
    run.guardFlag.reset();
    if (Logger::instance().threshold <= LOG_INFO)
        TBX_LOG_AS("WinMain", LOG_INFO, "Wrapper exit code: " + std::to_string(result.exitCode()));
    return result.exitCode();
}

}  // namespace

int RunInstallation(HINSTANCE instance, const wchar_t* commandLine) {
    RunContext run(instance, commandLine);
    StepResult result;
    try {
        result = performSteps(run);
    } catch (...) {
        // A failure no step handled (a configuration query, for one) ends the run with one ERROR record.
        logEscapedException(TBX_HERE_AS("WinMain"));
        result = StepResult::endRun(kExitFunctionFailed, "an unexpected failure");
    }
    return finishRun(run, result);
}

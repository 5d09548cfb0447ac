// The installation run: its steps in order, and the one exit that releases what the run holds and writes the
// final records.
#include "launcher/install_flow.h"

#include <optional>
#include <string>

#include "launcher/console_output.h"
#include "launcher/escaped_exception.h"
#include "launcher/install_steps.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "process/engine_result.h"

namespace {

struct Step {
    const char* name;
    StepResult (*run)(RunContext&);
};

#define TBX_STEP(function) Step{#function, function}

// The run, step by step: first decide (nothing changes), then check what can refuse it, then change. The first
// step that ends the run decides its exit code. Every run starts with these; the options then choose the
// install's or the uninstall's steps.
constexpr Step kFirstSteps[] = {
    TBX_STEP(placeLogInAskedFolder),     // "/log DIR": every log of the run goes there
    TBX_STEP(refuseLinkedLog),           // a log that is a link gets no record: stop first
    TBX_STEP(logRunStart),               // which launcher, payload, command line and account
    TBX_STEP(prepareProcess),            // library search path, UI language, 32 or 64 bits, the arguments
    TBX_STEP(answerHelp),                // "/?": the usage, and nothing changes
    TBX_STEP(loadConfiguration),         // defaults, runtime settings, install configuration file, command line
    TBX_STEP(locatePerUserFolder),       // every per-user path of the run is built from it
    TBX_STEP(applyLanguageOption),       // "/lang"
};

constexpr Step kInstallationSteps[] = {
    TBX_STEP(probeMachine),              // read-only: guard, installed kit, installer, engine
    TBX_STEP(planTheRun),                // every removal, file, command and exit code, decided
    TBX_STEP(answerCheck),               // "/check": the plan, and nothing changes
    TBX_STEP(testGuard),                 // another installation of the kit is running
    TBX_STEP(warnAboutOldWindows),       // only warns
    TBX_STEP(setGuard),                  // held until the run ends
    TBX_STEP(createCabinetEvent),        // ours before anything is removed or written
    TBX_STEP(checkSettingsWritable),     // found before anything is removed
    TBX_STEP(waitForInstaller),          // another installation's hold on the Windows Installer
    TBX_STEP(refuseWhatThePlanRefused),  // a newer build, no kit, no engine, a command that does not fit
    TBX_STEP(writePayload),              // the package cache: every payload file written, verified and held
    TBX_STEP(removeSameVersion),         // an installed kit or runtime of this version
    TBX_STEP(exportSettings),            // the runtime settings file as this run leaves it
    TBX_STEP(runKitEngine),              // a second pass on request
    TBX_STEP(restoreSettingsAfterFailure),  // the runtime settings file as it was
    TBX_STEP(installPublicRuntime),      // silent runs only
    TBX_STEP(installAutoUpdate),         // after a successful install
    TBX_STEP(endWithKitResult),          // the engine's code, or the pending restart of a removal
};

// "/uninstall": the same guard, wait and /check as the install, around the uninstall's own plan.
constexpr Step kUninstallSteps[] = {
    TBX_STEP(probeForUninstall),         // read-only: guard, installer, this version's products, folders, files
    TBX_STEP(planTheUninstall),          // every removal, its command and the exit code, decided
    TBX_STEP(answerUninstallCheck),      // "/check /uninstall": the plan, and nothing changes
    TBX_STEP(testGuard),                 // another installation of the kit is running
    TBX_STEP(setGuard),                  // held until the run ends
    TBX_STEP(waitForInstallerBeforeRemovals),  // another installation's hold on the Windows Installer
    TBX_STEP(refuseWhatTheUninstallPlanRefused),  // a product that cannot be removed, no engine
    TBX_STEP(carryOutUninstall),         // the removals in order; the exit code
};

#undef TBX_STEP

struct Ending {
    const char* step;
    StepResult result;
};

template <size_t N>
std::optional<Ending> performList(RunContext& run, const Step (&steps)[N]) {
    for (const Step& step : steps) {
        StepResult result = step.run(run);
        if (result.endsRun()) return Ending{step.name, result};
    }
    return std::nullopt;
}

Ending performSteps(RunContext& run) {
    if (auto ending = performList(run, kFirstSteps)) return *ending;
    if (auto ending = run.options->uninstall ? performList(run, kUninstallSteps) : performList(run, kInstallationSteps))
        return *ending;
    // The last step always ends the run; this is only reached if a list is changed without one.
    return {"performSteps", StepResult::endRun(kExitFunctionFailed, "the run ended without a result")};
}

bool endsWell(int exitCode) {
    return engineSucceeded(exitCode) || exitCode == kExitEngineRebootStarted;
}

// Which step ended the run, why, and with which Win32 error, in words.
void logEnding(const RunContext& run, const Ending& ending) {
    const StepResult& result = ending.result;
    std::string text = std::string("The run ended in ") + ending.step + " with exit code " +
                       std::to_string(result.exitCode());
    if (!result.what().empty()) text += ": " + result.what();
    if (result.error() != ERROR_SUCCESS)
        text += " (Win32 error " + std::to_string(result.error()) + ": " + systemErrorText(result.error()) + ")";
    const bool onlyChecked = run.options && run.options->checkOnly;
    const int level = endsWell(result.exitCode()) || onlyChecked || result.what().empty() ? LOG_INFO : LOG_ERROR;
    // A reason that is a sentence of its own brings its full stop.
    if (text.back() != '.') text += '.';
    if (Logger::instance().threshold <= level) TBX_LOG_AS("WinMain", level, text);
}

// The one way out: what the run holds is released and the exit code is the last record.
int finishRun(RunContext& run, const Ending& ending) {
    // The engine runs that read the payload have ended: the cache keeps what the installed kit needs.
    run.cache.settle(run.kitInstalled);
    run.holds.release();
    run.cabEvent.reset();
    run.guardFlag.reset();
    // Why a run took seconds longer than it should: another program kept the log.
    if (const unsigned long waited = logRecordsThatWaited())
        TBX_LOG_AS("WinMain", LOG_WARNING,
                   "Log records that waited for another program holding the log: " + std::to_string(waited));
    logEnding(run, ending);
    const int exitCode = ending.result.exitCode();
    if (Logger::instance().threshold <= LOG_INFO)
        TBX_LOG_AS("WinMain", LOG_INFO, "Wrapper exit code: " + std::to_string(exitCode));
    // Whoever reads the usual log would find the run missing: say where its records are.
    const std::string fallback = logFallbackPath();
    if (!fallback.empty()) {
        const std::string text = "The log " + Logger::instance().logFilePath +
                                 " could not be written; this run's records are in " + fallback + "\n";
        if (run.options && run.options->checkOnly)
            writeToConsole(text);
        else
            writeToStandardError(text);
    }
    return exitCode;
}

}  // namespace

int RunInstallation(HINSTANCE instance, const wchar_t* commandLine) {
    RunContext run(instance, commandLine);
    Ending ending{"RunInstallation", StepResult()};
    try {
        ending = performSteps(run);
    } catch (...) {
        // A failure no step handled (a configuration query, for one) ends the run with one ERROR record.
        logEscapedException(TBX_HERE_AS("WinMain"));
        ending.result = StepResult::endRun(kExitFunctionFailed, "an unexpected failure");
    }
    return finishRun(run, ending);
}

// The run's first steps: the log, the process, the configuration and the options; nothing changes on the machine.
#include <optional>
#include <string>

#include "buildinfo/build_constants.h"
#include "launcher/help_step.h"
#include "launcher/install_steps.h"
#include "process/bitness.h"
#include "installconfig/argument_import.h"
#include "platform/ansi_path.h"
#include "platform/errors.h"
#include "platform/log_location.h"
#include "platform/logger.h"
#include "platform/resources.h"
#include "platform/run_identity.h"
#include "platform/sysinfo.h"
#include "platform/tstrings.h"
#include "platform/ui_locale.h"
#include "strings/string_ids.h"

StepResult refuseLinkedLog(RunContext&) {
    // A log whose name is a link would have this elevated process append to someone else's file: stop before
    // the first record.
    if (logFileUnsafe(Logger::instance())) return StepResult::endRun(kExitTampered, "the log is a link");
    return StepResult::proceed();
}

namespace {

// The engine logs of this run go beside the launcher's log; those of older runs beyond the last few are removed.
void startEngineLogs(RunContext& run) {
    const std::string& logPath = Logger::instance().logFilePath;
    const size_t slash = logPath.find_last_of("\\/");
    if (slash == std::string::npos) return;  // no log: no engine logs either
    const std::string folder = logPath.substr(0, slash);
    // The engine's command lines are ANSI: the folder goes there in a form that names it exactly.
    const AnsiPath ansi = ansiPathOf(tstrings::toUtf16(folder));
    if (ansi.form == AnsiPathForm::None) {
        TBX_LOG_AS("WinMain", LOG_WARNING,
                   "The Windows Installer's own logs are not written: the folder " + folder +
                       " has no name the engine's command line can carry in this code page.");
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    run.engineLogs = EngineLogs(ansi.path, engineLogRunStamp(now, GetCurrentProcessId()), folder);
    run.facts.engineLogFolder = folder;
    if (const int removed = pruneEngineLogs(folder, kEngineLogRunsKept - 1))
        TBX_LOG_AS("WinMain", LOG_INFO,
                   "Removed " + std::to_string(removed) + " engine logs of launcher runs before the last " +
                       std::to_string(kEngineLogRunsKept - 1) + " from " + folder);
}

}  // namespace

StepResult placeLogInAskedFolder(RunContext& run) {
    run.args = splitCommandLine(run.commandLine);
    if (!run.args) return StepResult::proceed();  // the configuration step refuses it
    const std::optional<std::string> folder = logFolderArgument(*run.args);
    if (!folder) return StepResult::proceed();
    const std::string why = logFolderRefusal(tstrings::toUtf16(*folder), currentRunIdentity().elevated);
    if (!why.empty()) {
        // Nothing is written to a folder someone else could change: the refusal goes to the usual log (the writer
        // never appends to a log that is a link).
        const std::string text =
            "The log folder " + *folder + " given with /log is refused: " + why + ". Nothing is written there.";
        TBX_LOG_AS("WinMain", LOG_ERROR, text);
        Prompter(argumentsAskSilence(*run.args))
            .show(text, StringResource(IDS_WARNING_CAPTION, run.instance).string(), MB_OK | MB_ICONERROR);
        return StepResult::endRun(kExitConfigurationRefused, "the log folder was refused");
    }
    std::string path = *folder;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    Logger::instance().logFilePath = path + "\\zusched.log";
    return StepResult::proceed();
}

StepResult logRunStart(RunContext& run) {
    Logger& logger = Logger::instance();
    if (rollLogOverWhenLarger(logger))
        TBX_LOG_AS("WinMain", LOG_INFO,
                   "The log had grown past its limit; its earlier records are in " + olderLogPath(logger.logFilePath));
    // What an admin reading the log of a failed run asks first: which launcher, with which arguments, as whom.
    const std::string autoUpdate = TBX_HAS_AU_MSI ? std::string("the auto-update component ") +
                                                        buildconstants::autoUpdateVersion
                                                  : std::string("no auto-update component");
    TBX_LOG_AS("WinMain", LOG_INFO,
               tstrings::format("Zolt setup launcher %s; payload: the kit %s, build %d, and %s",
                                buildconstants::fullVersion, buildconstants::productVersion,
                                buildconstants::buildNumber, autoUpdate.c_str()));
    TBX_LOG_AS("WinMain", LOG_INFO,
               "Command line as given: " + tstrings::toUtf8(run.commandLine ? run.commandLine : L""));
    startEngineLogs(run);
    const RunIdentity identity = currentRunIdentity();
    TBX_LOG_AS("WinMain", LOG_INFO,
               "Account: " + (identity.account.empty() ? std::string("(cannot be read)") : identity.account) +
                   (identity.sid.empty() || identity.sid == identity.account ? "" : " (" + identity.sid + ")") +
                   "; elevated: " + (identity.elevated ? "yes" : "no"));
    return StepResult::proceed();
}

StepResult prepareProcess(RunContext& run) {
    SetDllDirectoryA("");
    run.facts.langId = Locale::fromUserPreferences().langId();
    run.facts.is64 = !Is32BitEnvironment();
    if (!run.args) run.args = splitCommandLine(run.commandLine);
    return StepResult::proceed();
}

StepResult answerHelp(RunContext& run) {
    if (!run.args) return StepResult::proceed();  // the configuration step refuses it
    return showHelpIfAsked(run.instance, *run.args);
}

StepResult loadConfiguration(RunContext& run) {
    run.config.emplace(run.instance);
    if (!run.args || run.config->LoadConfigSettings(*run.args) != 0) {
        logit("Error occurred while loading configuration settings. Exiting installer.");
        return StepResult::endRun(kExitConfigurationRefused, "the configuration was refused");
    }
    std::optional<RunOptions> options = readRunOptions(*run.config);
    if (!options) return StepResult::endRun(kExitCommandTooLong, "an option does not fit its buffer");
    run.options.emplace(*options);
    run.prompter = Prompter(run.options->silent);
    return StepResult::proceed();
}

StepResult locatePerUserFolder(RunContext& run) {
    // Every per-user path of the run (payload, guard flag) is built from this folder; without it nothing runs.
    if (const DWORD error = run.paths.locate())
        return StepResult::endRun(static_cast<int>(error), "the per-user data folder cannot be found", error);
    run.facts.userDataFolder = run.paths.userDataFolder();
    return StepResult::proceed();
}

StepResult applyLanguageOption(RunContext& run) {
    const std::optional<LANGID> asked = run.options->language;
    if (!asked) return StepResult::proceed();
    // A language no locale supports leaves the preferred one in force; the run goes on as well as it would.
    try {
        run.facts.langId = Locale::fromLangId(*asked).langId();
    } catch (const std::exception&) {
        TBX_LOG_AS("WinMain", LOG_WARNING,
                   tstrings::format("The language %u asked for with /lang is not supported (1033, 1041 or 2052); "
                                    "the preferred language %u stays.",
                                    static_cast<unsigned>(*asked), static_cast<unsigned>(run.facts.langId)));
    }
    return StepResult::proceed();
}

StepResult warnAboutOldWindows(RunContext& run) {
    if (!run.facts.oldWindows) return StepResult::proceed();
    const std::string caption = StringResource(IDS_WARNING_CAPTION, run.instance).string();
    const std::string text = tstrings::format(StringResource(IDS_OLD_WINDOWS_TEXT, run.instance).string().c_str(),
                                              buildconstants::productFamilyNumber);
    run.prompter.show(text, caption, MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
    // Only a warning: the installation goes on.
    logit("This is an unsupported operationg system.");
    return StepResult::proceed();
}

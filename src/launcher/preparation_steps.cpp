// The run's first steps: the log, the process, the configuration and the options; nothing changes on the machine.
#include <optional>
#include <string>

#include "buildinfo/build_constants.h"
#include "launcher/help_step.h"
#include "launcher/install_steps.h"
#include "platform/bounded_format.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/resources.h"
#include "platform/sysinfo.h"
#include "platform/tstrings.h"
#include "platform/ui_locale.h"
#include "platform/window_station.h"
#include "strings/string_ids.h"

namespace {

// Copies an option's value into a flow buffer; false (logged under `name`, as the log names the option) when it
// does not fit.
bool copyOption(char (&buffer)[kCommandBufferSize], const std::string& value, const char* name) {
    if (!formatInto(buffer, "%s", value.c_str())) {
        TBX_LOG_AS("WinMain", LOG_ERROR, std::string(name) + " does not fit its buffer; refused.");
        return false;
    }
    return true;
}

}  // namespace

StepResult refuseLinkedLog(RunContext&) {
    // A log whose name is a link would have this elevated process append to someone else's file: stop before
    // the first record.
    if (logFileUnsafe(Logger::instance())) return StepResult::endRun(kExitTampered, "the log is a link");
    return StepResult::proceed();
}

StepResult prepareProcess(RunContext& run) {
    SetDllDirectoryA("");
    run.langId = Locale::fromUserPreferences().langId();
    run.is64 = !Is32BitEnvironment();
    return StepResult::proceed();
}

StepResult answerHelp(RunContext& run) { return showHelpIfAsked(run.instance, run.commandLine); }

StepResult loadConfiguration(RunContext& run) {
    run.config.emplace(run.instance);
    if (run.config->LoadConfigSettings(run.commandLine) != 0) {
        logit("Error occurred while loading configuration settings. Exiting installer.");
        return StepResult::endRun(kExitConfigurationRefused, "the configuration");
    }
    run.silent = run.config->isSilent();
    setSilentRun(run.silent);
    return StepResult::proceed();
}

StepResult locatePerUserFolder(RunContext& run) {
    // Every per-user path of the run (payload, guard flag) is built from this folder; without it nothing runs.
    if (const DWORD error = run.paths.locate())
        return StepResult::endRun(static_cast<int>(error), "the per-user data folder", error);
    return StepResult::proceed();
}

StepResult applyLanguageOption(RunContext& run) {
    // A language no locale supports leaves the preferred one in force.
    try {
        if (const std::optional<LANGID> asked = run.config->language())
            run.langId = Locale::fromLangId(*asked).langId();
    } catch (const std::exception& e) {
        logCaughtException(TBX_HERE_AS("WinMain"), e);
    } catch (...) {
        logUnknownException(TBX_HERE_AS("WinMain"));
    }
    return StepResult::proceed();
}

StepResult readInstallerOptions(RunContext& run) {
    const InstallConfigData& config = *run.config;
    InstallerOptions& options = run.options;
    const StepResult tooLong = StepResult::endRun(kExitCommandTooLong, "an option does not fit its buffer");
    if (const auto dir = config.publicRuntimeDir();
        dir && !copyOption(options.publicRuntimeDir, *dir, "/INSTALLDIRPUBPLN"))
        return tooLong;
    if (const auto dir = config.installDir(); dir && !copyOption(options.installDir, *dir, "INSTALLDIR"))
        return tooLong;
    if (const auto arguments = config.installerArguments();
        arguments && !copyOption(options.installerArguments, *arguments + " ", "MSI_CMDLINE"))
        return tooLong;
    options.reallySuppress = config.rebootReallySuppressed();
    options.noStartMenu = config.startMenuSuppressed();
    return StepResult::proceed();
}

StepResult warnAboutOldWindows(RunContext& run) {
    if (SysInfo::osVersionClass() > WIN_XP) return StepResult::proceed();
    if (mayShowBox(run.silent)) {
        std::string caption = StringResource(IDS_WARNING_CAPTION, run.instance).string();
        std::string text = tstrings::format(StringResource(IDS_OLD_WINDOWS_TEXT, run.instance).string().c_str(),
                                            buildconstants::productFamilyNumber);
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
    }
    // Only a warning: the installation goes on.
    logit("This is an unsupported operationg system.");
    return StepResult::proceed();
}

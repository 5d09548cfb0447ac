// Reading the run's options once, with the limits of the flow's command buffers checked here.
#include "launcher/run_options.h"

#include "launcher/install_command.h"
#include "platform/logger.h"

namespace {

// False (logged under `name`, as the log names the option) when a value and its terminator do not fit.
bool fits(const std::string& value, const char* name) {
    if (value.size() < kCommandBufferSize) return true;
    TBX_LOG_AS("WinMain", LOG_ERROR, std::string(name) + " does not fit its buffer; refused.");
    return false;
}

}  // namespace

std::optional<RunOptions> readRunOptions(const InstallConfigData& config) {
    RunOptions options;
    options.silent = config.isSilent();
    options.checkOnly = config.checkAsked();
    options.uninstall = config.uninstallAsked();
    options.removeSettings = config.removeSettingsAsked();
    options.language = config.language();
    options.publicRuntimeDir = config.publicRuntimeDir().value_or("");
    options.installDir = config.installDir().value_or("");
    if (const auto arguments = config.installerArguments()) options.installerArguments = *arguments + " ";
    if (!fits(options.publicRuntimeDir, "/INSTALLDIRPUBPLN") || !fits(options.installDir, "INSTALLDIR") ||
        !fits(options.installerArguments, "MSI_CMDLINE"))
        return std::nullopt;
    options.installerLogFile = config.installerLogFile();
    options.installerLogModes = config.installerLogModes();
    options.reallySuppress = config.rebootReallySuppressed();
    options.noStartMenu = config.startMenuSuppressed();
    options.featuresChosen = config.featuresChosen();
    options.autoUpdate = config.autoUpdateOn();
    options.installerWaitSeconds = config.installerWaitSeconds();
    return options;
}

// The run's options, read once from the loaded configuration and never changed afterwards.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "installconfig/install_config_data.h"

struct RunOptions {
    bool silent = false;
    bool checkOnly = false;                // "/check": say what the run would do, change nothing
    bool uninstall = false;                // "/uninstall": remove what the launcher placed instead of installing
    bool removeSettings = false;           // "/removesettings": the uninstall takes the settings and policy too
    std::optional<LANGID> language;        // "/lang"
    std::string publicRuntimeDir;          // "/INSTALLDIRPUBPLN", ANSI
    std::string installDir;                // "INSTALLDIR", ANSI
    std::string installerArguments;        // "MSI_CMDLINE" followed by one space, or empty
    std::string installerLogFile;          // after "/l"
    std::string installerLogModes;         // typed after "/l" ("*v")
    bool reallySuppress = false;           // "REBOOT=ReallySuppress"
    bool noStartMenu = false;
    bool featuresChosen = false;           // "ADDLOCAL" given
    bool autoUpdate = true;
    int installerWaitSeconds = 0;
};

// The options as the flow uses them. Nullopt, after an ERROR record naming the option, when a value does not fit
// the flow's command buffers: a command is never cut. A failing configuration read raises settings::Exception.
std::optional<RunOptions> readRunOptions(const InstallConfigData& config);

// What one installation run knows and holds, from its first step to its one exit.
#pragma once

#include <windows.h>

#include <optional>

#include "installconfig/install_config_data.h"
#include "launcher/install_command.h"
#include "launcher/payload.h"
#include "launcher/per_user_paths.h"
#include "launcher/run_holds.h"
#include "launcher/run_plan.h"
#include "platform/win_handles.h"
#include "process/exit_codes.h"

// The options the engine runs are composed from, read once into the flow's fixed buffers.
struct InstallerOptions {
    char publicRuntimeDir[kCommandBufferSize] = "";
    char installDir[kCommandBufferSize] = "";
    char installerArguments[kCommandBufferSize] = "";
    bool reallySuppress = false;
    bool noStartMenu = false;
};

struct RunContext {
    RunContext(HINSTANCE instance_, const wchar_t* commandLine_) : instance(instance_), commandLine(commandLine_) {}
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    HINSTANCE instance;
    const wchar_t* commandLine;

    WORD langId = 0;
    bool is64 = true;
    std::optional<InstallConfigData> config;
    bool silent = false;
    // What the run holds below the launcher, and whether any of it was found changed.
    RunHolds holds;
    PerUserPaths paths{holds};
    InstallerOptions options;

    // The guard: the flag file, unshared and deleted when closed, held until the run ends.
    UniqueFile guardFlag;
    // The cabinet event, ours from before anything is removed until the engine runs are over.
    UniqueHandle cabEvent;

    bool removalWantsRestart = false;
    char msiPath[kPayloadPathSize] = "";
    char msiexecPath[MAX_PATH] = "";
    char command[kCommandBufferSize] = "";

    // What follows the kit's engine run, decided from its outcome.
    AfterKitPlan afterKit;
    bool autoUpdateTampered = false;
};

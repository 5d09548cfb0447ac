// What one installation run knows and holds, from its first step to its one exit.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "installconfig/install_config_data.h"
#include "launcher/package_cache.h"
#include "launcher/per_user_paths.h"
#include "launcher/run_holds.h"
#include "launcher/run_options.h"
#include "launcher/run_plan.h"
#include "launcher/uninstall_plan.h"
#include "platform/prompter.h"
#include "platform/win_handles.h"
#include "process/engine_logs.h"
#include "process/exit_codes.h"

struct RunContext {
    RunContext(HINSTANCE instance_, const wchar_t* commandLine_) : instance(instance_), commandLine(commandLine_) {}
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    HINSTANCE instance;
    const wchar_t* commandLine;
    // The command line split once; nullopt when it could not be split.
    std::optional<std::vector<std::string>> args;

    // Decided before anything changes: the configuration, the options read from it, the machine's facts and
    // the plan made of them.
    std::optional<InstallConfigData> config;
    std::optional<const RunOptions> options;
    MachineFacts facts;
    std::optional<const RunPlan> plan;
    // An uninstall's facts and plan, made instead of the install's.
    UninstallFacts uninstallFacts;
    std::optional<const UninstallPlan> uninstallPlan;
    // Whether a person is at the screen: nobody until the options say.
    Prompter prompter;

    // What the run holds below the launcher, and whether any of it was found changed.
    RunHolds holds;
    PerUserPaths paths{holds};
    // The package cache: the folders from the volume root down to this run's payload folder.
    PackageCache cache{holds};
    // The guard: the flag file, unshared and deleted when closed, held until the run ends.
    UniqueFile guardFlag;
    // The cabinet event, ours from before anything is removed until the engine runs are over.
    UniqueHandle cabEvent;

    // The engine's own log of each engine run, beside the launcher's log.
    EngineLogs engineLogs;

    // What happened while the plan was carried out.
    bool removalWantsRestart = false;
    bool kitInstalled = false;  // the kit's engine installed it: the package cache keeps this run's payload
    AfterKitPlan afterKit;
};

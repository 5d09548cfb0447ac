// The steps of the installation run, in the order the flow takes them. Each returns StepResult::proceed()
// or ends the run with its exit code; none ends the process.
#pragma once

#include <string>

#include "launcher/run_context.h"
#include "launcher/step_result.h"

// The common application data folder in an ANSI form that names exactly it; empty when there is none. Read by
// the install's and the uninstall's probes.
std::string commonAppDataFolder();

// Deciding: nothing on the machine changes.
StepResult placeLogInAskedFolder(RunContext& run);
StepResult refuseLinkedLog(RunContext& run);
StepResult logRunStart(RunContext& run);
StepResult prepareProcess(RunContext& run);
StepResult answerHelp(RunContext& run);
StepResult loadConfiguration(RunContext& run);
StepResult locatePerUserFolder(RunContext& run);
StepResult applyLanguageOption(RunContext& run);
StepResult probeMachine(RunContext& run);
StepResult planTheRun(RunContext& run);
StepResult answerCheck(RunContext& run);

// Every check that can refuse the run, before the first change: the guard, what must be ours, the settings
// file, the Windows Installer and what the plan refused.
StepResult testGuard(RunContext& run);
StepResult warnAboutOldWindows(RunContext& run);
StepResult setGuard(RunContext& run);
StepResult createCabinetEvent(RunContext& run);
StepResult checkSettingsWritable(RunContext& run);
StepResult waitForInstaller(RunContext& run);
StepResult refuseWhatThePlanRefused(RunContext& run);

// Changing: the payload in the package cache (before anything is removed), the removal of the same version, the
// export and the engine.
StepResult writePayload(RunContext& run);
StepResult removeSameVersion(RunContext& run);
StepResult exportSettings(RunContext& run);
StepResult runKitEngine(RunContext& run);

// After the kit's engine run: never change what the engine decided, except for tampering and a pending restart.
StepResult restoreSettingsAfterFailure(RunContext& run);
StepResult installPublicRuntime(RunContext& run);
StepResult installAutoUpdate(RunContext& run);
StepResult endWithKitResult(RunContext& run);

// The uninstall, instead of the steps from probeMachine on: read, plan, /check, the shared guard and wait for the
// Windows Installer, the refusals, then the removals in the plan's order.
StepResult probeForUninstall(RunContext& run);
StepResult planTheUninstall(RunContext& run);
StepResult answerUninstallCheck(RunContext& run);
StepResult waitForInstallerBeforeRemovals(RunContext& run);
StepResult refuseWhatTheUninstallPlanRefused(RunContext& run);
StepResult carryOutUninstall(RunContext& run);

// Writing the plan out: options and their sources, what is removed, written and run, and the expected exit code.
#include "launcher/plan_text.h"

#include "process/engine_logs.h"
#include "process/exit_codes.h"

namespace {

std::string yesNo(bool value) { return value ? "yes" : "no"; }

}  // namespace

std::string planText(const RunPlan& plan, const RunOptions& options, const std::vector<EffectiveOption>& effective,
                     const MachineFacts& facts) {
    std::string text = "What this run would do (nothing was changed):\n\nOptions (value, and where it came from):\n";
    for (const EffectiveOption& option : effective) {
        text += "  " + option.name + " = " + option.value + "   [" + option.source + "]\n";
        if (!option.notApplied.empty()) text += "    NOT APPLIED as given: " + option.notApplied + "\n";
    }
    text += "  silent: " + yesNo(options.silent) + "; INSTALLER_WAIT in effect: " +
            std::to_string(options.installerWaitSeconds) + " s\n";

    text += "\nThe machine now:\n";
    text += "  another Zolt installation running: " + yesNo(facts.guardHeld) + "\n";
    text += "  Windows Installer busy: " + yesNo(facts.installerBusy) + "\n";
    text += "  kit of this version installed: " + yesNo(facts.installed.kitInstalled) + "\n";
    text += "  runtime of this version installed: " + yesNo(facts.installed.runtimeInstalled) + "\n";
    text += "  Windows Installer: " + (facts.msiexecPath.empty() ? std::string("not found") : facts.msiexecPath) + "\n";

    if (plan.refusal) {
        text += "\nThe run would stop before it changes anything: " + plan.refusal->why + "\n";
    } else {
        text += "\nRemovals, in order:\n";
        if (plan.removalCommands.empty()) text += "  none\n";
        for (const std::string& command : plan.removalCommands) text += "  " + command + "\n";
        text += "\nFolders and files written, before the first removal:\n";
        text += "  " + plan.payloadFolder + "\\ (a new folder of the package cache for this run: the kit database, "
                "its cabinets and the auto-update database, " + std::to_string(plan.payloadBytes) +
                " bytes of free space needed)\n";
        text += "  the runtime settings file, when the options it keeps changed\n";
        text += "\nThe kit's installer command:\n  " + plan.kitCommand + "\n";
        if (plan.retryBusyAfterRemoval)
            text += "  if it finds the Windows Installer busy after the removal: waits up to " +
                    std::to_string(plan.installerWaitSeconds) + " s and runs it once more\n";
        if (!facts.engineLogFolder.empty())
            text += "  each engine run writes its verbose log to " + facts.engineLogFolder + "\\" + kEngineLogPrefix +
                    "<run>-<nn>-<package>.log" +
                    (options.installerLogFile.empty() ? "" : " (the kit's to the /l path above)") + "\n";
        text += "\nAfter a successful install:\n";
        text += "  the public runtime installer from the kit's home: " + yesNo(plan.publicRuntimeAfterKit) + "\n";
        text += "  the auto-update component (" + plan.autoUpdateDatabase +
                "): when the public runtime of this version is registered\n";
        text += "  the package cache keeps this run's folder as the kit's repair source and removes the other "
                "builds' of this kit; after a failure it removes this run's folder\n";
        text += "\nThe kit engine's result and what follows:\n";
        for (const int engine : {kExitSuccess, kExitEngineSucceeded, kExitEngineRebootRequired,
                                 kExitEngineRebootStarted, kExitInstallerBusy, 1603}) {
            KitRunOutcome outcome;
            outcome.engineExitCode = engine;
            outcome.silent = options.silent;
            outcome.publicRuntimeSelected = plan.publicRuntimeAfterKit;
            const AfterKitPlan after = planAfterKitRun(outcome);
            text += "  " + std::to_string(engine) + ": exit code " +
                    std::to_string(finalExitCode(after.exitCode, false)) +
                    (after.restoreSettings ? ", the runtime settings file put back" : "") +
                    (after.endsNow ? ", nothing more runs" : "") +
                    (after.tryAutoUpdate ? ", then the auto-update component" : "") + "\n";
        }
    }
    text += "\nExpected exit code: " + std::to_string(plan.expectedExitCode) + " (" + plan.expectation + ")\n";
    return text;
}

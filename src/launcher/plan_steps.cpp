// Reading the machine, planning the run, /check, and the last checks before the first change.
#include <cstring>
#include <string>

#include "buildinfo/payload_resources.h"
#include "launcher/console_output.h"
#include "launcher/install_guard.h"
#include "launcher/install_steps.h"
#include "launcher/per_user_layout.h"
#include "launcher/plan_text.h"
#include "platform/logger.h"
#include "platform/resources.h"
#include "platform/sysinfo.h"
#include "process/installer_lock.h"
#include "process/msiexec_path.h"
#include "strings/string_ids.h"

StepResult probeMachine(RunContext& run) {
    MachineFacts& facts = run.facts;
    facts.guardHeld = isInstallFlagHeld(perUserLayout::guardFlagPath(facts.userDataFolder).c_str());
    facts.oldWindows = SysInfo::osVersionClass() <= WIN_XP;
    facts.installed = probeSameVersion();
    facts.installerBusy = isInstallerLockHeld();
    facts.kitDatabaseCarried =
        FindResourceA(run.instance, MAKEINTRESOURCEA(TBX_RES_KIT_MSI), TBX_RES_TYPE_INSTALLER) != nullptr;
    char msiexec[MAX_PATH] = "";
    facts.msiexecPath = GetMsiexecPath(msiexec, sizeof msiexec) ? msiexec : "";
    return StepResult::proceed();
}

StepResult planTheRun(RunContext& run) {
    run.plan.emplace(planRun(*run.options, run.facts));
    logSameVersionDecision(run.facts.installed, decideSameVersion(run.facts.installed));
    return StepResult::proceed();
}

StepResult answerCheck(RunContext& run) {
    if (!run.options->checkOnly) return StepResult::proceed();
    const std::string text = planText(*run.plan, *run.options, run.config->effectiveOptions(), run.facts);
    TBX_LOG_AS("answerCheck", LOG_INFO, "Only a check was asked for; nothing is changed.\n" + text);
    writeToConsole(text);
    return StepResult::endRun(run.plan->expectedExitCode, "only a check: " + run.plan->expectation);
}

StepResult holdKitFolder(RunContext& run) {
    // Held and checked before anything is removed: a folder found tampered with stops the run with nothing lost.
    if (!run.paths.kitDatabase(run.msiPath, run.facts.is64)) {
        if (run.holds.tampered()) return StepResult::endRun(kExitTampered, "a folder of the kit database's path");
        return StepResult::endRun(kExitPathTooLong, "the kit database path", ERROR_FILENAME_EXCED_RANGE);
    }
    if (run.plan->kitDatabase != run.msiPath)
        return StepResult::endRun(kExitFunctionFailed, "the kit database path is not the planned one");
    return StepResult::proceed();
}

StepResult refuseWhatThePlanRefused(RunContext& run) {
    const RunPlan& plan = *run.plan;
    if (!plan.refusal) return StepResult::proceed();
    if (plan.newerBuildInstalled) {
        run.prompter.show(StringResource(IDS_NEWER_BUILD_TEXT, run.instance).string(),
                          StringResource(IDS_NEWER_BUILD_CAPTION, run.instance).string(), MB_ICONERROR);
    }
    return StepResult::endRun(plan.refusal->exitCode, plan.refusal->why);
}

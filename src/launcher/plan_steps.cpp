// Reading the machine, planning the run, /check, and the last checks before the first change.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "buildinfo/payload_resources.h"
#include "launcher/console_output.h"
#include "launcher/install_guard.h"
#include "launcher/install_steps.h"
#include "launcher/package_cache_layout.h"
#include "launcher/per_user_layout.h"
#include "launcher/payload.h"
#include "launcher/plan_text.h"
#include "platform/win_handles.h"
#include "platform/ansi_path.h"
#include "platform/logger.h"
#include "platform/resources.h"
#include "platform/sysinfo.h"
#include "platform/system_random.h"
#include "process/installer_lock.h"
#include "process/msiexec_path.h"
#include "strings/string_ids.h"

std::string commonAppDataFolder() {
    wchar_t wide[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, wide) != S_OK) return "";
    const AnsiPath ansi = ansiPathOf(wide);
    return ansi.form == AnsiPathForm::None ? "" : ansi.path;
}

namespace {

ULONGLONG payloadBytesCarried(HMODULE module) {
    ULONGLONG total = 0;
    for (const packageCacheLayout::PayloadFile& file : packageCacheLayout::payloadFiles())
        if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(file.id), file.type))
            total += SizeofResource(module, resource);
    return total;
}

}  // namespace

StepResult probeMachine(RunContext& run) {
    MachineFacts& facts = run.facts;
    facts.guardHeld = isInstallFlagHeld(perUserLayout::guardFlagPath(facts.userDataFolder).c_str());
    // A run the guard refuses reads nothing else: the other installation is changing what it would read, and the
    // records of a refused run say only why it was refused. A check reads on, to show the whole plan.
    if (facts.guardHeld && !run.options->checkOnly) return StepResult::proceed();
    facts.programDataFolder = commonAppDataFolder();
    // New for each run; only administrators may make folders where it goes. Short: the auto-update command that
    // names it must fit the design's 259 characters.
    facts.runFolderName = systemRandomHex(4);
    facts.payloadBytes = payloadBytesCarried(run.instance);
    ULARGE_INTEGER available{};
    if (!facts.programDataFolder.empty() &&
        GetDiskFreeSpaceExA(facts.programDataFolder.c_str(), &available, nullptr, nullptr))
        facts.freeBytes = available.QuadPart;
    facts.oldWindows = SysInfo::osVersionClass() <= WIN_XP;
    facts.installed = probeSameVersion();
    facts.installerBusy = isInstallerLockHeld();
    // Only looked for: a run makes it, and refuses one someone else made.
    UniqueHandle event(OpenEventA(SYNCHRONIZE, FALSE, kCabExtractEventName));
    facts.cabinetEventTaken = event.get() != nullptr;
    facts.kitDatabaseCarried =
        FindResourceA(run.instance, MAKEINTRESOURCEA(TBX_RES_KIT_MSI), TBX_RES_TYPE_INSTALLER) != nullptr;
    char msiexec[MAX_PATH] = "";
    facts.msiexecPath = GetMsiexecPath(msiexec, sizeof msiexec) ? msiexec : "";
    return StepResult::proceed();
}

StepResult planTheRun(RunContext& run) {
    run.plan.emplace(planRun(*run.options, run.facts));
    // Not read while another installation holds the guard (see probeMachine).
    if (!run.facts.guardHeld || run.options->checkOnly)
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

StepResult refuseWhatThePlanRefused(RunContext& run) {
    const RunPlan& plan = *run.plan;
    if (!plan.refusal) return StepResult::proceed();
    if (plan.newerBuildInstalled) {
        run.prompter.show(StringResource(IDS_NEWER_BUILD_TEXT, run.instance).string(),
                          StringResource(IDS_NEWER_BUILD_CAPTION, run.instance).string(), MB_ICONERROR);
    }
    return StepResult::endRun(plan.refusal->exitCode, plan.refusal->why);
}

// The guard against a second installation, and the cabinet event, taken before anything is removed or written.
#include "launcher/cab_event.h"
#include "launcher/install_guard.h"
#include "launcher/install_steps.h"
#include "platform/logger.h"
#include "platform/tstrings.h"
#include "strings/string_ids.h"

namespace {

void showInProgressBox(const RunContext& run) {
    char caption[256] = "";
    char text[1024] = "";
    LoadStringA(run.instance, IDS_IN_PROGRESS_CAPTION, caption, sizeof caption);
    LoadStringA(run.instance, IDS_IN_PROGRESS_TEXT, text, sizeof text);
    run.prompter.show(text, caption, MB_OK | MB_ICONINFORMATION);
}

// A flag path that cannot be built because a folder was tampered with ends the run; otherwise `orElse` does.
StepResult flagPathFailure(const RunContext& run, const StepResult& orElse) {
    if (run.holds.tampered()) return StepResult::endRun(kExitTampered, "a folder of the guard flag's path");
    logit("Fail to get the file path for Zolt install flag ");
    return orElse;
}

}  // namespace

StepResult testGuard(RunContext& run) {
    char installFlag[MAX_PATH] = "";
    // Without a path there is nothing to test; setting the guard tries again.
    if (!run.paths.guardFlag(installFlag)) return flagPathFailure(run, StepResult::proceed());
    // A flag file that cannot be deleted is held by another installation.
    const FlagTest flag = TestAndClearInstallFlag(installFlag);
    if (flag == FlagTest::Unsafe) return StepResult::endRun(kExitTampered, "the guard flag is a link");
    // Held when the machine was read, the plan rests on nothing read: refused, also if it is free by now.
    if (flag == FlagTest::Held || run.facts.guardHeld) {
        showInProgressBox(run);
        logit(
            "TBX wrapper: Another Zolt installation is in progress. You must complete that installation "
            "before you can run this installer.");
        return StepResult::endRun(kExitFailed, "another installation holds the guard");
    }
    return StepResult::proceed();
}

StepResult setGuard(RunContext& run) {
    char installFlag[MAX_PATH] = "";
    if (!run.paths.guardFlag(installFlag))
        return flagPathFailure(run, StepResult::endRun(kExitFailed, "the guard flag's path"));
    // Held unshared until the run ends; not through a link someone put in the name's place since the test.
    run.guardFlag.reset(CreateFileA(installFlag, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!run.guardFlag) {
        const DWORD code = GetLastError();
        logit(tstrings::format("Fail to set installation flag, ErrorCode is %d", static_cast<int>(code)).c_str());
        return StepResult::endRun(kExitFailed, "the guard flag", code);
    }
    return StepResult::proceed();
}

StepResult createCabinetEvent(RunContext& run) {
    // Before anything is removed or written: an event someone else made first could be set by them at any time.
    run.cabEvent = CreateCabExtractEvent();
    if (!run.cabEvent) return StepResult::endRun(kExitFailed, "the cabinet event");
    return StepResult::proceed();
}

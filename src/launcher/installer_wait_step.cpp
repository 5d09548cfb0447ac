// Waiting for, or asking about, another installation's hold on the Windows Installer.
#include "launcher/installer_wait_step.h"

#include <string>

#include "platform/logger.h"
#include "platform/resources.h"
#include "process/exit_codes.h"
#include "process/installer_lock.h"
#include "strings/string_ids.h"

namespace {

constexpr const char* kGaveUp = "Another installation holds the Windows Installer; nothing was installed";

constexpr int kBoxNotShown = 0;

// IDRETRY, IDCANCEL, or kBoxNotShown when no box could be shown.
int askToRetry(HINSTANCE instance, const Prompter& prompter) {
    const std::string caption = StringResource(IDS_INSTALLER_BUSY_CAPTION, instance).string();
    const std::string text = StringResource(IDS_INSTALLER_BUSY_TEXT, instance).string();
    return prompter.show(text, caption, MB_RETRYCANCEL | MB_ICONWARNING | MB_TASKMODAL, kBoxNotShown);
}

StepResult waitUnattended(unsigned limitSeconds) {
    if (waitForInstallerLock(limitSeconds)) return StepResult::proceed();
    TBX_LOG_AS("waitForInstallerStep", LOG_ERROR,
               "Another installation still holds the Windows Installer after " + std::to_string(limitSeconds) +
                   " seconds; giving up.");
    return StepResult::endRun(kExitInstallerBusy, kGaveUp);
}

}  // namespace

StepResult waitForInstallerStep(HINSTANCE instance, const Prompter& prompter, unsigned limitSeconds) {
    if (!prompter.personPresent()) return waitUnattended(limitSeconds);
    while (isInstallerLockHeld()) {
        TBX_LOG_AS("waitForInstallerStep", LOG_INFO, "Another installation holds the Windows Installer; asking.");
        const int answer = askToRetry(instance, prompter);
        if (answer == kBoxNotShown) {
            TBX_LOG_AS("waitForInstallerStep", LOG_WARNING,
                       "The box asking about the busy Windows Installer cannot be shown; waiting as an unattended "
                       "run does.");
            return waitUnattended(limitSeconds);
        }
        if (answer != IDRETRY) {
            TBX_LOG_AS("waitForInstallerStep", LOG_ERROR,
                       "Another installation holds the Windows Installer; the user cancelled.");
            return StepResult::endRun(kExitInstallerBusy, kGaveUp);
        }
    }
    return StepResult::proceed();
}

bool installerFreeForAutoUpdate(unsigned limitSeconds) {
    if (waitForInstallerLock(limitSeconds)) return true;
    TBX_LOG_AS("installerFreeForAutoUpdate", LOG_WARNING,
               "Another installation still holds the Windows Installer after " + std::to_string(limitSeconds) +
                   " seconds: the auto-update component is not installed in this run.");
    return false;
}

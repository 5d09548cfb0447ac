// Waiting for, or asking about, another installation's hold on the Windows Installer.
#include "launcher/installer_wait_step.h"

#include <string>

#include "platform/logger.h"
#include "platform/resources.h"
#include "platform/window_station.h"
#include "process/exit_codes.h"
#include "process/installer_lock.h"
#include "strings/string_ids.h"

namespace {

constexpr const char* kGaveUp = "Another installation holds the Windows Installer; nothing was installed.";

// True when the person chose Retry; a box that cannot be shown counts as Cancel.
bool askToRetry(HINSTANCE instance) {
    const std::string caption = StringResource(IDS_INSTALLER_BUSY_CAPTION, instance).string();
    const std::string text = StringResource(IDS_INSTALLER_BUSY_TEXT, instance).string();
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_RETRYCANCEL | MB_ICONWARNING | MB_TASKMODAL) ==
           IDRETRY;
}

}  // namespace

StepResult waitForInstallerStep(HINSTANCE instance, bool silent, unsigned limitSeconds) {
    if (!mayShowBox(silent)) {
        if (waitForInstallerLock(limitSeconds)) return StepResult::proceed();
        TBX_LOG_AS("waitForInstallerStep", LOG_ERROR,
                   "Another installation still holds the Windows Installer after " + std::to_string(limitSeconds) +
                       " seconds; giving up.");
        return StepResult::endRun(kExitInstallerBusy, kGaveUp);
    }
    while (isInstallerLockHeld()) {
        TBX_LOG_AS("waitForInstallerStep", LOG_INFO, "Another installation holds the Windows Installer; asking.");
        if (!askToRetry(instance)) {
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

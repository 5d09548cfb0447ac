// What a busy Windows Installer means for the run and for the auto-update step.
#include <gtest/gtest.h>
#include <windows.h>

#include "launcher/installer_wait_step.h"
#include "mutex_held_elsewhere.h"
#include "process/exit_codes.h"
#include "process/installer_lock.h"
#include "test_support.h"

namespace {

using testing_support::LogCapture;

TEST(InstallerWaitStep, ABusyInstallerEndsTheRunWith1618AndAnErrorRecord) {
    LogCapture log;
    testing_support::MutexHeldElsewhere busy(kInstallerLockName);
    const StepResult result = waitForInstallerStep(GetModuleHandleA(nullptr), Prompter(true), 0);
    EXPECT_TRUE(result.endsRun());
    EXPECT_EQ(kExitInstallerBusy, result.exitCode());
    EXPECT_EQ(1, log.count("Another installation still holds the Windows Installer after 0 seconds; giving up."));
}

TEST(InstallerWaitStep, AFreeInstallerLetsTheRunGoOnWithoutARecord) {
    LogCapture log;
    EXPECT_FALSE(waitForInstallerStep(GetModuleHandleA(nullptr), Prompter(true), 0).endsRun());
    EXPECT_TRUE(installerFreeForAutoUpdate(0));
    EXPECT_TRUE(log.messages().empty());
}

// Without a display no box can be shown: the run waits as an unattended one instead of taking that for Cancel.
TEST(InstallerWaitStep, ABoxThatCannotBeShownFallsBackToTheWait) {
    LogCapture log;
    testing_support::MutexHeldElsewhere busy(kInstallerLockName);
    const Prompter person(false);
    if (!person.personPresent()) GTEST_SKIP() << "this window station is not visible";
    const StepResult result = waitForInstallerStep(GetModuleHandleA(nullptr), person, 0);
    EXPECT_EQ(kExitInstallerBusy, result.exitCode());
    EXPECT_EQ(1, log.count("cannot be shown; waiting as an unattended run does."));
    EXPECT_EQ(0, log.count("the user cancelled"));
    EXPECT_EQ(1, log.count("giving up"));
}

// The auto-update component is skipped with a warning, not an error: the kit is installed.
TEST(InstallerWaitStep, ABusyInstallerSkipsTheAutoUpdateWithAWarning) {
    LogCapture log;
    testing_support::MutexHeldElsewhere busy(kInstallerLockName);
    EXPECT_FALSE(installerFreeForAutoUpdate(0));
    EXPECT_EQ(1, log.count("the auto-update component is not installed in this run"));
    EXPECT_EQ(0, log.count("giving up"));
}

}  // namespace

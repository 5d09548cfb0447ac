// What a busy Windows Installer means for the run and for the auto-update step.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "launcher/installer_wait_step.h"
#include "platform/win_handles.h"
#include "process/exit_codes.h"
#include "process/installer_lock.h"
#include "test_support.h"

namespace {

using testing_support::LogCapture;

// The installer's mutex owned by another thread for the life of the object.
class BusyInstaller {
public:
    BusyInstaller() {
        owner = std::thread([this] {
            UniqueHandle mutex(CreateMutexA(nullptr, TRUE, kInstallerLockName));
            SetEvent(owned.get());
            WaitForSingleObject(done.get(), INFINITE);
            ReleaseMutex(mutex.get());
        });
        WaitForSingleObject(owned.get(), INFINITE);
    }
    ~BusyInstaller() {
        SetEvent(done.get());
        owner.join();
    }

private:
    UniqueHandle owned{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::thread owner;
};

TEST(InstallerWaitStep, ABusyInstallerEndsTheRunWith1618AndAnErrorRecord) {
    LogCapture log;
    BusyInstaller busy;
    const StepResult result = waitForInstallerStep(GetModuleHandleA(nullptr), true, 0);
    EXPECT_TRUE(result.endsRun());
    EXPECT_EQ(kExitInstallerBusy, result.exitCode());
    EXPECT_EQ(1, log.count("Another installation still holds the Windows Installer after 0 seconds; giving up."));
}

TEST(InstallerWaitStep, AFreeInstallerLetsTheRunGoOnWithoutARecord) {
    LogCapture log;
    EXPECT_FALSE(waitForInstallerStep(GetModuleHandleA(nullptr), true, 0).endsRun());
    EXPECT_TRUE(installerFreeForAutoUpdate(0));
    EXPECT_TRUE(log.messages().empty());
}

// The auto-update component is skipped with a warning, not an error: the kit is installed.
TEST(InstallerWaitStep, ABusyInstallerSkipsTheAutoUpdateWithAWarning) {
    LogCapture log;
    BusyInstaller busy;
    EXPECT_FALSE(installerFreeForAutoUpdate(0));
    EXPECT_EQ(1, log.count("the auto-update component is not installed in this run"));
    EXPECT_EQ(0, log.count("giving up"));
}

}  // namespace

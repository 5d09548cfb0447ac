// The installer's lock: what counts as held, and the bounded wait on a clock the test drives.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "mutex_held_elsewhere.h"
#include "platform/win_handles.h"
#include "process/installer_lock.h"

namespace {

TEST(InstallerLock, OnlyAnOwnedMutexIsARunningInstallation) {
    EXPECT_FALSE(isInstallerLockHeld()) << "no mutex at all";
    {
        UniqueHandle unowned(CreateMutexA(nullptr, FALSE, kInstallerLockName));
        EXPECT_FALSE(isInstallerLockHeld()) << "a mutex that merely exists";
        // The test took it and must have given it back: another thread can take it at once.
        DWORD takenElsewhere = WAIT_FAILED;
        std::thread([&] {
            UniqueHandle again(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kInstallerLockName));
            takenElsewhere = WaitForSingleObject(again.get(), 0);
            if (takenElsewhere == WAIT_OBJECT_0) ReleaseMutex(again.get());
        }).join();
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), takenElsewhere);
    }
    testing_support::MutexHeldElsewhere installation(kInstallerLockName);
    EXPECT_TRUE(isInstallerLockHeld());
}

// The look never takes the mutex, not even for a moment: a mutex whose owner died unreleased stays marked so,
// which it would not be once anyone had taken it.
TEST(InstallerLock, TheLookNeverTakesTheMutex) {
    UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kInstallerLockName));
    ASSERT_TRUE(mutex);
    std::thread([] {
        UniqueHandle owner(OpenMutexA(SYNCHRONIZE, FALSE, kInstallerLockName));
        WaitForSingleObject(owner.get(), 0);
        // Ends without releasing it.
    }).join();
    EXPECT_FALSE(isInstallerLockHeld()) << "an owner that died holds nothing";
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(mutex.get(), 0)) << "the look took it";
    ReleaseMutex(mutex.get());
}

// A clock that moves only when the wait sleeps, and a lock that is free from a chosen look on.
struct FakeWorld {
    ULONGLONG now = 5000;
    std::vector<DWORD> sleeps;
    int looks = 0;
    int freeFromLook;  // 1-based; 0 never

    InstallerLockSeams seams() {
        InstallerLockSeams s;
        s.nowMs = [this] { return now; };
        s.sleepMs = [this](DWORD ms) {
            sleeps.push_back(ms);
            now += ms;
        };
        s.lockHeld = [this] {
            ++looks;
            return freeFromLook == 0 || looks < freeFromLook;
        };
        return s;
    }
};

TEST(InstallerLock, WaitLooksOnceASecondUpToTheLimit) {
    struct Case {
        const char* name;
        unsigned limitSeconds;
        int freeFromLook;
        bool free;
        std::vector<DWORD> sleeps;
    } cases[] = {
        {"free at once: no sleep", 600, 1, true, {}},
        {"freed at the fourth look", 600, 4, true, {1000, 1000, 1000}},
        {"never freed: gives up at the limit", 3, 0, false, {1000, 1000, 1000}},
        {"freed exactly at the last look", 3, 4, true, {1000, 1000, 1000}},
        {"no wait allowed", 0, 0, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWorld world;
        world.freeFromLook = c.freeFromLook;
        EXPECT_EQ(c.free, waitForInstallerLock(c.limitSeconds, world.seams()));
        EXPECT_EQ(c.sleeps, world.sleeps);
    }
}

// Slow looks count against the limit: the last pause is cut to what is left, never a whole second past it.
TEST(InstallerLock, SlowLooksShortenTheLastPause) {
    FakeWorld world;
    world.freeFromLook = 0;
    InstallerLockSeams seams = world.seams();
    seams.lockHeld = [&world] {
        world.now += 700;  // each look takes 0.7 s
        return true;
    };
    EXPECT_FALSE(waitForInstallerLock(2, seams));
    EXPECT_EQ((std::vector<DWORD>{1000, 300}), world.sleeps);
}

}  // namespace

// Whether another Windows Installer run holds the engine's lock, and waiting, bounded, until none does.
#pragma once

#include <windows.h>

#include <functional>

// The mutex the Windows Installer service holds while an installation runs.
constexpr const char* kInstallerLockName = "Global\\_MSIExecute";

// True while another process owns the installer's mutex. A mutex that merely exists is not a running
// installation. The mutex is only looked at, never taken.
bool isInstallerLockHeld();

// What the wait needs from the world: the clock, the pause between looks and the look itself, so that the
// loop can be tested without waiting real seconds.
struct InstallerLockSeams {
    std::function<ULONGLONG()> nowMs = [] { return GetTickCount64(); };
    std::function<void(DWORD ms)> sleepMs = [](DWORD ms) { Sleep(ms); };
    std::function<bool()> lockHeld = isInstallerLockHeld;
};

// Looks once a second, for at most `limitSeconds`, until no other run holds the lock; logs when a wait begins
// and when it ended with the installer free. True when the installer is free, false when the time ran out
// (the caller says what that means for the run).
bool waitForInstallerLock(unsigned limitSeconds, const InstallerLockSeams& seams = InstallerLockSeams());

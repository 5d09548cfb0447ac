// Whether another Windows Installer run holds the engine's lock, and the bounded wait for it.
#include "process/installer_lock.h"

#include <string>

#include "platform/logger.h"
#include "platform/win_handles.h"

bool isInstallerLockHeld() {
    UniqueHandle mutex(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kInstallerLockName));
    if (!mutex) {
        // Absent: nothing runs. Present but not ours to open: the service holds it, so someone is installing.
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    const DWORD taken = WaitForSingleObject(mutex.get(), 0);
    if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) {
        ReleaseMutex(mutex.get());
        return false;
    }
    return true;
}

bool waitForInstallerLock(unsigned limitSeconds, const InstallerLockSeams& seams) {
    if (!seams.lockHeld()) return true;
    TBX_LOG(LOG_INFO, "Another installation holds the Windows Installer; waiting for it up to " +
                          std::to_string(limitSeconds) + " seconds.");
    const ULONGLONG start = seams.nowMs();
    const ULONGLONG limitMs = static_cast<ULONGLONG>(limitSeconds) * 1000;
    for (;;) {
        const ULONGLONG elapsed = seams.nowMs() - start;
        if (elapsed >= limitMs) break;
        const ULONGLONG left = limitMs - elapsed;
        seams.sleepMs(static_cast<DWORD>(left < 1000 ? left : 1000));
        if (!seams.lockHeld()) {
            TBX_LOG(LOG_INFO, "The Windows Installer is free after " +
                                  std::to_string((seams.nowMs() - start) / 1000) + " seconds of waiting.");
            return true;
        }
    }
    return false;
}

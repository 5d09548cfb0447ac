// Whether another Windows Installer run holds the engine's lock, and the bounded wait for it.
#include "process/installer_lock.h"

#include <string>

#include "platform/logger.h"
#include "platform/win_handles.h"

namespace {

// The state of a mutex as the system reports it: a count of 1 when nobody owns it.
struct MutantBasicInformation {
    LONG currentCount;
    BOOLEAN ownedByCaller;
    BOOLEAN abandonedState;
};
using NtQueryMutantFn = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
constexpr ACCESS_MASK kMutantQueryState = 0x0001;

}  // namespace

bool isInstallerLockHeld() {
    // Only looked at, never taken: a look that took the lock, however briefly, could make an installation that
    // starts at that moment give up with 1618.
    UniqueHandle mutex(OpenMutexA(kMutantQueryState, FALSE, kInstallerLockName));
    if (!mutex) {
        // Absent: nothing runs. Present but not ours to look at: the service holds it, so someone is installing.
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    // ntdll is mapped into every process before any of its code runs: looked up, never loaded.
    static const auto query = reinterpret_cast<NtQueryMutantFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryMutant")));
    MutantBasicInformation state{};
    // Unreadable: taken as held, so that the run waits rather than runs into another installation.
    if (!query || query(mutex.get(), 0, &state, sizeof state, nullptr) < 0) return true;
    return state.currentCount <= 0 && !state.abandonedState;
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

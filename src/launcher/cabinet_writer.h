// The cabinet thread beside the engine run: started with its event before the engine, waited for after it.
#pragma once

#include <windows.h>

#include "launcher/payload.h"
#include "platform/win_handles.h"

class CabinetWriter {
public:
    // Resets the cabinet event and starts the thread. When the thread cannot be started the event is set at
    // once, so that the engine does not wait for it.
    explicit CabinetWriter(HMODULE module);
    CabinetWriter(const CabinetWriter&) = delete;
    CabinetWriter& operator=(const CabinetWriter&) = delete;

    // Waits for the thread to end: the failure of its start or of its writes, or success.
    PayloadWriteResult finish();

    // The call that starts the thread; tests put a failing one in front of CreateThread. Null restores it.
    using ThreadStarter = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                                          LPDWORD);
    static void setThreadStarter(ThreadStarter start);

private:
    UniqueHandle event;
    UniqueHandle thread;
    PayloadWriteResult startFailure;
};

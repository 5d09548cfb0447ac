// The cabinet thread beside the engine run: started with its event before the engine, waited for after it.
#pragma once

#include <windows.h>

#include "launcher/payload.h"
#include "platform/win_handles.h"

class CabinetWriter {
public:
    // The call that starts the thread: CreateThread, or in tests one that fails.
    using ThreadStarter = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                                          LPDWORD);

    // Resets the run's cabinet event `event` and starts the thread, which writes the cabinets below `paths`
    // with `write`. When the thread cannot be started the event is set at once, so that the engine does not
    // wait for it.
    CabinetWriter(HMODULE module, const PerUserPaths& paths, bool is64, HANDLE event,
                  ThreadStarter start = &CreateThread, WriteFileFunction write = &WriteFile);
    // Waits for a thread that is still running: it writes into this object.
    ~CabinetWriter();
    CabinetWriter(const CabinetWriter&) = delete;
    CabinetWriter& operator=(const CabinetWriter&) = delete;

    // Waits for the thread to end: the failure of its start or of its writes, or success.
    PayloadWriteResult finish();

private:
    CabinetJob job;
    UniqueHandle thread;
    PayloadWriteResult outcome;  // the start's failure, then the thread's result
};

// Starting the cabinet thread and collecting its outcome.
#include "launcher/cabinet_writer.h"

namespace {

CabinetWriter::ThreadStarter threadStarter = &CreateThread;

// Kept until the process ends, on purpose: the engine may open the event after the thread has ended.
HANDLE cabExtractEvent = nullptr;

}  // namespace

CabinetWriter::CabinetWriter(HMODULE module) {
    if (!cabExtractEvent) cabExtractEvent = CreateEventA(nullptr, TRUE, FALSE, kCabExtractEventName);
    else ResetEvent(cabExtractEvent);
    thread.reset(threadStarter(nullptr, 0, ExtractCabFiles, module, 0, nullptr));
    if (!thread) {
        startFailure = {GetLastError(), "Installer : Wrapper.CreateThread "};
        if (cabExtractEvent) SetEvent(cabExtractEvent);
    }
}

PayloadWriteResult CabinetWriter::finish() {
    if (!thread) return startFailure;
    WaitForSingleObject(thread.get(), INFINITE);
    thread.reset();
    return cabinetThreadResult();
}

void CabinetWriter::setThreadStarter(ThreadStarter start) { threadStarter = start ? start : &CreateThread; }

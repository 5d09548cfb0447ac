// Starting the cabinet thread and collecting its outcome.
#include "launcher/cabinet_writer.h"

namespace {

CabinetWriter::ThreadStarter threadStarter = &CreateThread;

}  // namespace

// The event itself is created, and kept to the end of the process, by whoever runs the engine; the writer only
// opens it, to start unsignalled and to release a waiting engine when the thread cannot run.
CabinetWriter::CabinetWriter(HMODULE module) : event(OpenEventA(EVENT_MODIFY_STATE, FALSE, kCabExtractEventName)) {
    if (event) ResetEvent(event.get());
    thread.reset(threadStarter(nullptr, 0, ExtractCabFiles, module, 0, nullptr));
    if (!thread) {
        startFailure = {GetLastError(), "Installer : Wrapper.CreateThread "};
        if (event) SetEvent(event.get());
    }
}

PayloadWriteResult CabinetWriter::finish() {
    if (!thread) return startFailure;
    WaitForSingleObject(thread.get(), INFINITE);
    thread.reset();
    return cabinetThreadResult();
}

void CabinetWriter::setThreadStarter(ThreadStarter start) { threadStarter = start ? start : &CreateThread; }

// Starting the cabinet thread and collecting its outcome.
#include "launcher/cabinet_writer.h"

CabinetWriter::CabinetWriter(HMODULE module, const PerUserPaths& paths, bool is64, HANDLE event,
                             ThreadStarter start, WriteFileFunction write) {
    job.module = module;
    job.paths = &paths;
    job.is64 = is64;
    job.event = event;
    job.write = write;
    if (event) ResetEvent(event);
    thread.reset(start(nullptr, 0, ExtractCabFiles, &job, 0, nullptr));
    if (!thread) {
        outcome = {GetLastError(), "Installer : Wrapper.CreateThread "};
        if (event) SetEvent(event);
    }
}

CabinetWriter::~CabinetWriter() {
    if (thread) WaitForSingleObject(thread.get(), INFINITE);
}

PayloadWriteResult CabinetWriter::finish() {
    if (!thread) return outcome;
    WaitForSingleObject(thread.get(), INFINITE);
    thread.reset();
    outcome = job.result;
    return outcome;
}

// Appends numbered records to a log once released, as one of many programs logging at once.
//   logwriter <log path> <writer name> <records> <ready semaphore> <start event> [waits]
// Releases the semaphore once when ready, waits for the event, then writes "writer <name> record <i>" for
// i = 0 .. records-1. Ends with 0, or with "waits", with the number of its records that waited for a holder.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/logger.h"

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fputs("usage: logwriter <log> <name> <records> <ready semaphore> <start event>\n", stderr);
        return 2;
    }
    const std::string path = argv[1], name = argv[2];
    const long records = std::strtol(argv[3], nullptr, 10);
    HANDLE ready = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, argv[4]);
    HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, argv[5]);
    if (!ready || !start) return 3;
    Logger::instance().logFilePath = path;
    ReleaseSemaphore(ready, 1, nullptr);
    if (WaitForSingleObject(start, INFINITE) != WAIT_OBJECT_0) return 4;
    for (long i = 0; i < records; ++i) {
        const std::string message = "writer " + name + " record " + std::to_string(i);
        writeLogRecord(Logger::instance(), LOG_INFO, __FILE__, __LINE__, "writer", message.c_str());
    }
    CloseHandle(start);
    CloseHandle(ready);
    const bool reportWaits = argc > 6 && std::string(argv[6]) == "waits";
    return reportWaits ? static_cast<int>(logRecordsThatWaited()) : 0;
}

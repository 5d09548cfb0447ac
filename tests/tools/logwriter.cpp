// Appends numbered records to a log once released, as one of many programs logging at once.
//   logwriter <log path> <writer name> <records> <ready semaphore> <start event> [denying]
// Releases the semaphore once when ready, waits for the event, then writes "writer <name> record <i>" for
// i = 0 .. records-1. "denying" writes each record the way older writers do: an open that denies other writers,
// tried 10 times 1 ms apart, then the record is dropped (for comparing the two).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/logger.h"

namespace {

void writeDenying(const std::string& path, const std::string& message) {
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 10 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) Sleep(1);
    }
    if (file == INVALID_HANDLE_VALUE) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string record = formatLogRecord(now, processName(), GetCurrentProcessId(), GetCurrentThreadId(), __FILE__,
                                         __LINE__, "writer", LOG_INFO, message.c_str());
    std::string bytes;
    for (char c : record) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fputs("usage: logwriter <log> <name> <records> <ready semaphore> <start event> [denying]\n", stderr);
        return 2;
    }
    const std::string path = argv[1], name = argv[2];
    const long records = std::strtol(argv[3], nullptr, 10);
    const bool denying = argc > 6 && std::string(argv[6]) == "denying";
    HANDLE ready = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, argv[4]);
    HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, argv[5]);
    if (!ready || !start) return 3;
    Logger::instance().logFilePath = path;
    ReleaseSemaphore(ready, 1, nullptr);
    if (WaitForSingleObject(start, INFINITE) != WAIT_OBJECT_0) return 4;
    for (long i = 0; i < records; ++i) {
        const std::string message = "writer " + name + " record " + std::to_string(i);
        if (denying)
            writeDenying(path, message);
        else
            writeLogRecord(Logger::instance(), LOG_INFO, __FILE__, __LINE__, "writer", message.c_str());
    }
    CloseHandle(start);
    CloseHandle(ready);
    return 0;
}

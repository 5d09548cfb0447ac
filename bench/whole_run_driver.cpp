// Times a whole silent launcher run against a recording engine, or that engine started alone, and samples
// the started program's private memory meanwhile. With MSIRECORDER_STAMP=1 the engine records when it
// started, which gives the time from the launcher's start until the engine runs.
//   whole_run_driver <program> <engine folder holding msiexec.exe> <record file> [arguments...]
// Prints one line: total_ms=<ms> engine_start_ms=<ms or -1> exit=<code> peak_private_bytes=<n>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver_support.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: whole_run_driver <program> <engine folder> <record file> [arguments...]\n", stderr);
        return 2;
    }
    InstallerLocationOverride location(argv[2]);
    if (!location.ok()) return 3;
    SetEnvironmentVariableA("MSIRECORDER_LOG", argv[3]);
    SetEnvironmentVariableA("MSIRECORDER_STAMP", "1");
    DeleteFileA(argv[3]);

    std::string commandLine = std::string("\"") + argv[1] + "\"";
    for (int i = 4; i < argc; ++i) commandLine += std::string(" ") + argv[i];
    TimedProcess run;
    if (!run.start(argv[1], commandLine)) return 4;
    PeakMemory memory;
    while (WaitForSingleObject(run.handle(), 2) == WAIT_TIMEOUT) memory.sample(run.handle());
    const double totalMs = run.msUntilNow();
    const DWORD exitCode = run.exitCode();

    // The first engine start in the record file.
    double engineMs = -1;
    if (FILE* records = std::fopen(argv[3], "rb")) {
        char line[4096];
        while (std::fgets(line, sizeof line, records)) {
            if (std::strncmp(line, "started ", 8) == 0) {
                const long long stamp = std::strtoll(line + 8, nullptr, 10);
                engineMs = run.msUntil(stamp);
                break;
            }
        }
        std::fclose(records);
    }
    std::printf("total_ms=%.1f engine_start_ms=%.1f exit=%ld peak_private_bytes=%llu\n", totalMs, engineMs,
                static_cast<long>(exitCode), static_cast<unsigned long long>(memory.peakPrivate));
    return 0;
}

// Times how long tbx-setup.exe takes from its start until its cabinet thread sets the event, and samples the
// launcher's private memory meanwhile. msiexec is a recording stand-in that waits for the same event.
//   extract_driver <tbx-setup.exe> <engine folder holding msiexec.exe> <record file>
// Prints one line: launcher_ms=<ms> exit=<code> peak_private_bytes=<n> peak_working_set_bytes=<n>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "driver_support.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: extract_driver <tbx-setup.exe> <engine folder> <record file>\n", stderr);
        return 2;
    }
    InstallerLocationOverride location(argv[2]);
    if (!location.ok()) return 3;
    SetEnvironmentVariableA("MSIRECORDER_LOG", argv[3]);
    SetEnvironmentVariableA("MSIRECORDER_WAIT", "1");

    // The launcher refuses an event that exists before it creates its own, so the driver only opens it: polled
    // every millisecond, which is well below the figure measured.
    std::string commandLine = std::string("\"") + argv[1] + "\" /s";
    TimedProcess run;
    if (!run.start(argv[1], commandLine)) return 4;
    PeakMemory memory;
    HANDLE event = nullptr;
    while (!event) {
        memory.sample(run.handle());
        if (WaitForSingleObject(run.handle(), 1) == WAIT_OBJECT_0) {
            std::fprintf(stderr, "extract_driver: the launcher ended with %ld before it made the cabinet event\n",
                         static_cast<long>(run.exitCode()));
            return 5;
        }
        event = OpenEventA(SYNCHRONIZE, FALSE, "LumoTBXCabExtractWaitEvent");
    }
    HANDLE waits[] = {event, run.handle()};
    while (WaitForMultipleObjects(2, waits, FALSE, 2) == WAIT_TIMEOUT) memory.sample(run.handle());
    const double ms = run.msUntilNow();
    memory.sample(run.handle());
    WaitForSingleObject(run.handle(), INFINITE);
    CloseHandle(event);
    const DWORD exitCode = run.exitCode();

    std::printf("launcher_ms=%.0f exit=%ld peak_private_bytes=%llu peak_working_set_bytes=%llu\n", ms,
                static_cast<long>(exitCode), static_cast<unsigned long long>(memory.peakPrivate),
                static_cast<unsigned long long>(memory.counters.PeakWorkingSetSize));
    return 0;
}

// Times how long tbx-setup.exe takes from its start until its cabinet thread sets the event, and samples the
// launcher's private memory meanwhile. msiexec is a recording stand-in that waits for the same event.
//   extract_driver <tbx-setup.exe> <engine folder holding msiexec.exe> <record file>
// Prints one line: launcher_ms=<ms> exit=<code> peak_private_bytes=<n> peak_working_set_bytes=<n>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "../driver_support.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: extract_driver <tbx-setup.exe> <engine folder> <record file>\n", stderr);
        return 2;
    }
    InstallerLocationOverride location(argv[2]);
    if (!location.ok()) return 3;
    SetEnvironmentVariableA("MSIRECORDER_LOG", argv[3]);
    SetEnvironmentVariableA("MSIRECORDER_WAIT", "1");

    // Created here first so no poll for its appearance blurs the time; the launcher opens the same object.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "LumoTBXCabExtractWaitEvent");
    std::string commandLine = std::string("\"") + argv[1] + "\" /s";
    TimedProcess run;
    if (!run.start(argv[1], commandLine)) return 4;
    PeakMemory memory;
    while (WaitForSingleObject(event, 2) == WAIT_TIMEOUT) memory.sample(run.handle());
    const double ms = run.msUntilNow();
    memory.sample(run.handle());
    WaitForSingleObject(run.handle(), INFINITE);
    const DWORD exitCode = run.exitCode();

    std::printf("launcher_ms=%.0f exit=%ld peak_private_bytes=%llu peak_working_set_bytes=%llu\n", ms,
                static_cast<long>(exitCode), static_cast<unsigned long long>(memory.peakPrivate),
                static_cast<unsigned long long>(memory.counters.PeakWorkingSetSize));
    return 0;
}

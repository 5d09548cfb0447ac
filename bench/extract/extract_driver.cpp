// Times how long tbx-setup.exe takes from its start until its cabinet thread sets the event, and samples the
// launcher's private memory meanwhile. msiexec is a recording stand-in that waits for the same event.
//   extract_driver <tbx-setup.exe> <engine folder holding msiexec.exe> <record file>
// Prints one line: launcher_ms=<ms> exit=<code> peak_private_bytes=<n> peak_working_set_bytes=<n>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: extract_driver <tbx-setup.exe> <engine folder> <record file>\n", stderr);
        return 2;
    }
    HKEY key = nullptr;
    const char* installerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, installerKey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return 3;
    char original[MAX_PATH] = "";
    DWORD size = sizeof original - 1;
    RegQueryValueExA(key, "InstallerLocation", nullptr, nullptr, reinterpret_cast<BYTE*>(original), &size);
    RegSetValueExA(key, "InstallerLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[2]),
                   static_cast<DWORD>(strlen(argv[2]) + 1));
    SetEnvironmentVariableA("MSIRECORDER_LOG", argv[3]);
    SetEnvironmentVariableA("MSIRECORDER_WAIT", "1");

    // Created here first so no poll for its appearance blurs the time; the launcher opens the same object.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "LumoTBXCabExtractWaitEvent");
    std::string commandLine = std::string("\"") + argv[1] + "\" /s";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, start, signalled;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 4;
    SIZE_T peakPrivate = 0;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    auto sample = [&] {
        if (GetProcessMemoryInfo(process.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof counters)) {
            // PagefileUsage is the private commit charge; Wine fills it, not PrivateUsage, for another process.
            if (counters.PrivateUsage > peakPrivate) peakPrivate = counters.PrivateUsage;
            if (counters.PeakPagefileUsage > peakPrivate) peakPrivate = counters.PeakPagefileUsage;
        }
    };
    while (WaitForSingleObject(event, 2) == WAIT_TIMEOUT) sample();
    QueryPerformanceCounter(&signalled);
    sample();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);

    RegSetValueExA(key, "InstallerLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(original),
                   static_cast<DWORD>(strlen(original) + 1));
    RegCloseKey(key);
    double ms = 1000.0 * static_cast<double>(signalled.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("launcher_ms=%.0f exit=%ld peak_private_bytes=%llu peak_working_set_bytes=%llu\n", ms,
                static_cast<long>(exitCode), static_cast<unsigned long long>(peakPrivate),
                static_cast<unsigned long long>(counters.PeakWorkingSetSize));
    return 0;
}

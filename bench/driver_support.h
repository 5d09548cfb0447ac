// What the Windows-side bench drivers share: the engine folder put in the installer location, and the
// started program's memory sampled while it runs.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <cstring>
#include <string>

// Points "InstallerLocation" at `folder` while the object lives and puts the previous value back after.
class InstallerLocationOverride {
public:
    explicit InstallerLocationOverride(const char* folder) {
        const char* installerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, installerKey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) {
            key = nullptr;
            return;
        }
        DWORD size = sizeof original - 1;
        RegQueryValueExA(key, "InstallerLocation", nullptr, nullptr, reinterpret_cast<BYTE*>(original), &size);
        set(folder);
    }
    ~InstallerLocationOverride() {
        if (!key) return;
        set(original);
        RegCloseKey(key);
    }
    InstallerLocationOverride(const InstallerLocationOverride&) = delete;
    InstallerLocationOverride& operator=(const InstallerLocationOverride&) = delete;
    bool ok() const { return key != nullptr; }

private:
    void set(const char* folder) {
        RegSetValueExA(key, "InstallerLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                       static_cast<DWORD>(std::strlen(folder) + 1));
    }

    HKEY key = nullptr;
    char original[MAX_PATH] = "";
};

// The highest private commit charge seen over the samples of one process, and its last counters.
struct PeakMemory {
    void sample(HANDLE process) {
        if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
            // PagefileUsage is the private commit charge; Wine fills it, not PrivateUsage, for another process.
            if (counters.PrivateUsage > peakPrivate) peakPrivate = counters.PrivateUsage;
            if (counters.PeakPagefileUsage > peakPrivate) peakPrivate = counters.PeakPagefileUsage;
        }
    }

    SIZE_T peakPrivate = 0;
    PROCESS_MEMORY_COUNTERS_EX counters{};
};

// A program started with the clock running: times count from just before its start.
class TimedProcess {
public:
    TimedProcess() { QueryPerformanceFrequency(&frequency); }
    ~TimedProcess() {
        if (!process.hProcess) return;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    TimedProcess(const TimedProcess&) = delete;
    TimedProcess& operator=(const TimedProcess&) = delete;

    // False when the program cannot be started.
    bool start(const char* program, std::string commandLine) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        QueryPerformanceCounter(&started);
        return CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process) != FALSE;
    }
    HANDLE handle() const { return process.hProcess; }
    // Milliseconds from the start until a performance counter reading, or until now.
    double msUntil(long long counter) const {
        return 1000.0 * static_cast<double>(counter - started.QuadPart) / static_cast<double>(frequency.QuadPart);
    }
    double msUntilNow() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return msUntil(now.QuadPart);
    }
    DWORD exitCode() const {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

private:
    LARGE_INTEGER frequency{};
    LARGE_INTEGER started{};
    PROCESS_INFORMATION process{};
};

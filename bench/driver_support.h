// What the Windows-side bench drivers share: the engine folder put in the installer location, and the
// started program's memory sampled while it runs.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <cstring>

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

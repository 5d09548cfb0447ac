// Stands in for msiexec.exe in the guard and reinstall tests: appends its command line to a file, asks for
// a reinstall on its first install run when told to, may stay running until the test lets it go, and exits
// with 0.
// Driven by the environment it inherits through the launcher:
//   STATUSMSI_LOG     file the command lines are appended to (required)
//   STATUSMSI_STATUS  text written to HKLM\Software\Zoltsys "InstallStatus" by the first "/i" run
//   STATUSMSI_HOLD    name of a manual-reset event: after recording its run, wait until it is set
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string environment(const char* name) {
    char value[4096];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

int main() {
    const std::string logPath = environment("STATUSMSI_LOG");
    if (logPath.empty()) return 87;
    const std::string commandLine = GetCommandLineA();
    const bool installRun = commandLine.find(" /i ") != std::string::npos;
    const bool firstInstallRun = installRun && readAll(logPath).find(" /i ") == std::string::npos;
    {
        std::ofstream out(logPath, std::ios::binary | std::ios::app);
        out << commandLine << "\n";
    }
    const std::string status = environment("STATUSMSI_STATUS");
    if (firstInstallRun && !status.empty()) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zoltsys", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return 5;
        RegSetValueExA(key, "InstallStatus", 0, REG_SZ, reinterpret_cast<const BYTE*>(status.c_str()),
                       static_cast<DWORD>(status.size() + 1));
        RegCloseKey(key);
    }
    const std::string hold = environment("STATUSMSI_HOLD");
    if (!hold.empty()) {
        // An installation in progress for as long as the test needs one; the limit only ends a forgotten run.
        HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, hold.c_str());
        if (!release) return 6;
        const DWORD waited = WaitForSingleObject(release, 300000);
        CloseHandle(release);
        if (waited != WAIT_OBJECT_0) return 1460;
    }
    return 0;
}

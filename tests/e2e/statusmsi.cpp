// Stands in for msiexec.exe in the guard and reinstall tests: appends its command line to a file, asks for
// a reinstall on its first install run when told to, may take its time, and exits with 0.
// Driven by the environment it inherits through the launcher:
//   STATUSMSI_LOG     file the command lines are appended to (required)
//   STATUSMSI_STATUS  text written to HKLM\Software\Zoltsys "InstallStatus" by the first "/i" run
//   STATUSMSI_SLEEP   milliseconds to wait before exiting
#include <windows.h>

#include <cstdlib>
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
    const std::string sleep = environment("STATUSMSI_SLEEP");
    if (!sleep.empty()) Sleep(static_cast<DWORD>(std::strtoul(sleep.c_str(), nullptr, 10)));
    return 0;
}

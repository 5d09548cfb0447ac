// Stands in for msiexec.exe as the launcher's engine: a kit install that registers the kit and still reports
// failure (as a failed second pass or a required reboot would). Driven by the environment:
//   KITSTANDIN_LOG   file each command line is appended to (required)
//   KITSTANDIN_HOME  "ZoltHome" written for the kit of this version by a kit install ("WRAPPER=1")
//   KITSTANDIN_EXIT  exit code of a kit install, decimal (other runs exit 0)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tbx_build_constants.h"

namespace {

std::string environment(const char* name) {
    char value[4096];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

}  // namespace

int main() {
    const std::string logPath = environment("KITSTANDIN_LOG");
    if (logPath.empty()) return 87;
    const char* commandLine = GetCommandLineA();
    if (FILE* log = std::fopen(logPath.c_str(), "ab")) {
        std::fprintf(log, "%s\n", commandLine);
        std::fclose(log);
    }
    if (!std::strstr(commandLine, "WRAPPER=1")) return 0;

    const std::string home = environment("KITSTANDIN_HOME");
    const std::string key = std::string("SOFTWARE\\Zoltsys\\Zolt Development Kit\\") + TBX_PRODUCT_VERSION;
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS)
        return 5;
    RegSetValueExA(handle, "ZoltHome", 0, REG_SZ, reinterpret_cast<const BYTE*>(home.c_str()),
                   static_cast<DWORD>(home.size() + 1));
    RegCloseKey(handle);
    return std::atoi(environment("KITSTANDIN_EXIT").c_str());
}

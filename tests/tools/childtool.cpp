// A child program for the runner's tests: records its command line, sleeps, exits with a chosen code.
//   childtool [--signal=<event>] [--record=<file>] [--sleep=<ms>] [--exit=<code>]
// The options act in their order; --signal sets the named event, to say that the child runs.
// The code may be negative or above 255; the parent reads it with GetExitCodeProcess.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    long exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strncmp(a, "--record=", 9) == 0) {
            FILE* f = std::fopen(a + 9, "wb");
            if (!f) return 90;
            std::fputs(GetCommandLineA(), f);
            std::fclose(f);
        } else if (std::strncmp(a, "--signal=", 9) == 0) {
            HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, a + 9);
            if (!event || !SetEvent(event)) return 91;
            CloseHandle(event);
        } else if (std::strncmp(a, "--sleep=", 8) == 0) {
            Sleep(static_cast<DWORD>(std::strtoul(a + 8, nullptr, 10)));
        } else if (std::strncmp(a, "--exit=", 7) == 0) {
            exitCode = std::strtol(a + 7, nullptr, 10);
        } else if (std::strcmp(a, "--print") == 0) {
            std::puts(GetCommandLineA());
        }
    }
    ExitProcess(static_cast<UINT>(exitCode));
}

// A parent that dies while it starts a child through the runner, as a killed launcher does.
//   dyingparent before-resume <pid file> <child> [arguments]   ends itself after creating the child, before
//                                                               resuming it
//   dyingparent after-start <pid file> <child> [arguments]     ends itself once the child runs
//   dyingparent killable <event> <child> [arguments]           sets the named event just before it starts the
//                                                               child and waits for the child's end, to be killed
//                                                               by the test at any point of the start
// In the first two the child's process id is in <pid file> first; the parent's exit code is 9.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "process/executor.h"

namespace {

const char* pidFile = nullptr;
bool dieBeforeResume = false;

void recordChild(DWORD processId) {
    FILE* f = std::fopen(pidFile, "wb");
    if (!f) TerminateProcess(GetCurrentProcess(), 91);
    std::fprintf(f, "%lu", static_cast<unsigned long>(processId));
    std::fclose(f);
    if (dieBeforeResume) TerminateProcess(GetCurrentProcess(), 9);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    if (std::strcmp(argv[1], "killable") == 0) {
        HANDLE starting = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
        if (!starting) return 3;
        std::string arguments = std::string("\"") + argv[3] + "\"";
        for (int i = 4; i < argc; ++i) arguments += std::string(" ") + argv[i];
        Executor executor(argv[3]);
        executor.setArguments(arguments);
        executor.setWaitForExit(true);
        SetEvent(starting);
        return static_cast<int>(executor.exec());
    }
    dieBeforeResume = std::strcmp(argv[1], "before-resume") == 0;
    pidFile = argv[2];
    std::string arguments = std::string("\"") + argv[3] + "\"";
    for (int i = 4; i < argc; ++i) arguments += std::string(" ") + argv[i];
    setChildCreatedHook(&recordChild);
    Executor executor(argv[3]);
    executor.setArguments(arguments);
    executor.exec();
    TerminateProcess(GetCurrentProcess(), 9);
    return 9;
}

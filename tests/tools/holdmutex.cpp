// Owns the Windows Installer's mutex, as a running installation does, until killed or until the given time has
// passed; writes the marker file once it owns it.
//   holdmutex <marker file> <milliseconds>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: holdmutex <marker file> <milliseconds>\n", stderr);
        return 2;
    }
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "Global\\_MSIExecute");
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return 1;
    HANDLE marker = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(marker);
    Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return 0;
}

// Runs a program, waits for it and writes its full 32-bit exit code to a file; for scripts, since the exit
// status that Wine gives Linux keeps only the low byte.
//   runwait <result file> <program> [arguments...]
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    for (wchar_t c : arg) {
        if (c == L'"') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: runwait <result file> <program> [arguments...]\n", stderr);
        return 2;
    }
    std::wstring commandLine = quoted(argv[2]);
    for (int i = 3; i < argc; ++i) commandLine += L" " + quoted(argv[i]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD exitCode = 0;
    if (!CreateProcessW(argv[2], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "runwait: cannot start the program, error %lu\n", GetLastError());
        return 3;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    FILE* result = _wfopen(argv[1], L"wb");
    if (!result) return 4;
    std::fprintf(result, "%ld\n", static_cast<long>(static_cast<LONG>(exitCode)));
    std::fclose(result);
    return 0;
}

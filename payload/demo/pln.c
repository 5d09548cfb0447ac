/* Demo public runtime installer: with /s it installs the runtime database it carries with Windows Installer,
   passing its other arguments on as properties. It appends its command line to "pln-demo.log" in the
   temporary folder first, so that a run can be checked. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "command_args.h"

#define RUNTIME_DATABASE_RESOURCE 101

static void recordCommandLine(const char* tempDir) {
    char path[MAX_PATH + 32];
    if (_snprintf(path, sizeof path, "%spln-demo.log", tempDir) < 0) return;
    path[sizeof path - 1] = '\0';
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    const char* line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

static BOOL writeDatabase(const char* path) {
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(RUNTIME_DATABASE_RESOURCE), MAKEINTRESOURCEA(10));
    if (!found) return FALSE;
    DWORD size = SizeofResource(NULL, found);
    const void* data = LockResource(LoadResource(NULL, found));
    if (!data) return FALSE;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD written = 0;
    BOOL ok = WriteFile(file, data, size, &written, NULL) && written == size;
    return CloseHandle(file) && ok;
}

int main(void) {
    char tempDir[MAX_PATH];
    DWORD tempLength = GetTempPathA(MAX_PATH, tempDir);
    if (tempLength == 0 || tempLength >= MAX_PATH) return ERROR_PATH_NOT_FOUND;
    recordCommandLine(tempDir);

    /* Only the unattended form is offered by this demo. */
    const char* arguments = argumentsOf(GetCommandLineA());
    if (_strnicmp(arguments, "/s", 2) != 0 || (arguments[2] != '\0' && arguments[2] != ' '))
        return ERROR_INVALID_COMMAND_LINE;
    const char* properties = arguments + 2;

    char database[MAX_PATH + 32];
    if (_snprintf(database, sizeof database, "%spln-demo.msi", tempDir) < 0) return ERROR_FILENAME_EXCED_RANGE;
    database[sizeof database - 1] = '\0';
    if (!writeDatabase(database)) return ERROR_WRITE_FAULT;

    char engine[MAX_PATH + 16];
    UINT systemLength = GetSystemDirectoryA(engine, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH) return ERROR_PATH_NOT_FOUND;
    strcat(engine, "\\msiexec.exe");

    char command[4096];
    int length = _snprintf(command, sizeof command, "\"%s\" /i \"%s\" /qn%s", engine, database, properties);
    if (length < 0 || length >= (int)sizeof command) return ERROR_INVALID_COMMAND_LINE;

    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(engine, command, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &startup, &process)) {
        DWORD error = GetLastError();
        DeleteFileA(database);
        return (int)error;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = ERROR_FUNCTION_FAILED;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DeleteFileA(database);
    return (int)exitCode;
}

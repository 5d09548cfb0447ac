/* Demo scheduler registration tool: appends the arguments it was given to "zaureg-calls.log" beside itself. */
#include <windows.h>

#include <string.h>

#include "command_args.h"

int main(void) {
    char logPath[MAX_PATH + 32];
    DWORD length = GetModuleFileNameA(NULL, logPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    char* slash = strrchr(logPath, '\\');
    if (!slash) return 1;
    strcpy(slash + 1, "zaureg-calls.log");

    HANDLE file = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const char* arguments = argumentsOf(GetCommandLineA());
    DWORD written = 0;
    BOOL ok = WriteFile(file, arguments, (DWORD)strlen(arguments), &written, NULL) &&
              WriteFile(file, "\r\n", 2, &written, NULL);
    return CloseHandle(file) && ok ? 0 : 1;
}

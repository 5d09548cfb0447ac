// The installation run: configuration, guard, extraction, engine runs, public runtime, auto-update.
#pragma once

#include <windows.h>

// Exit codes the flow adds for input that does not fit the design's fixed buffers.
constexpr int kExitCommandTooLong = 1639;   // ERROR_INVALID_COMMAND_LINE
constexpr int kExitPathTooLong = 206;       // ERROR_FILENAME_EXCED_RANGE

// Runs the whole installation and returns the process exit code.
int RunInstallation(HINSTANCE instance, const wchar_t* commandLine);

// True when FindFirstFileA finds an entry for `path`.
bool FileExists(const char* path);

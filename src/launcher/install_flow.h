// The installation run: configuration, guard, extraction, engine runs, public runtime, auto-update.
#pragma once

#include <windows.h>

#include "process/exit_codes.h"

// Runs the whole installation and returns the process exit code; logs "Wrapper exit code: <code>" last, on
// every path.
int RunInstallation(HINSTANCE instance, const wchar_t* commandLine);

// What an exit code of the Windows Installer engine means for the run that started it.
#pragma once

#include "process/exit_codes.h"

// Installed or removed; a restart may be pending. 1707 is the engine's own word for a success.
constexpr bool engineSucceeded(int code) {
    return code == kExitSuccess || code == kExitEngineSucceeded || code == kExitEngineRebootRequired;
}

// Keeps an auxiliary engine run (a removal, the auto-update component) from restarting the machine in the middle
// of the launcher's run; the pending restart is reported through the exit code instead.
constexpr const char* kSuppressRebootArgument = " REBOOT=ReallySuppress";

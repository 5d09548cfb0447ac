// Installing or upgrading the auto-update component, carrying the user's update policy across.
#pragma once

#include <windows.h>

#include "process/engine_logs.h"
#include "process/exit_codes.h"

// Exit code of InstallAutoUpdate when its command would not fit the engine command buffer.
constexpr int kAutoUpdateCommandTooLong = kExitCommandTooLong;

// Installs the auto-update database at `msiPath`, with DISABLE=1 unless `enabled`: 0 on success; -2 when the
// installed component is as new as the bundled one; -3 when the engine cannot be found or the scheduler
// registration fails; -4 when the registration throws; else the engine's non-zero exit code. A registered
// "AUVersion" that is not four dotted numbers throws. With `logs`, each engine run writes its own log there.
int InstallAutoUpdate(const char* msiPath, bool enabled, EngineLogs* logs = nullptr);
// True when the installed component is older than the baseline, whose policy is kept in the old layout.
bool IsAUOlderThanBaseline();
// Removes the installed component by its product code; the engine's exit code.
DWORD uninstallAutoUpdate(EngineLogs* logs = nullptr);

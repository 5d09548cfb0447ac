// The per-user data folder every per-user path of the run is built below, and the capacities of those paths.
#pragma once

#include <windows.h>

#include <cstddef>

#include "process/exit_codes.h"

// Capacities, in characters including the terminator, of the payload path buffers.
constexpr size_t kUserDataFolderSize = MAX_PATH;
constexpr size_t kPayloadPathSize = 272;
constexpr size_t kAutoUpdatePathSize = MAX_PATH;

// Why the per-user data folder cannot be used when it is not too long.
constexpr DWORD kUserDataFolderMissing = kExitFunctionFailed;

// The per-user data folder (LocalLow, or the roaming application data before Windows 6.0), without a
// trailing backslash, in an ANSI form that names exactly that folder (its short name when the long one has
// none). 0, or after an ERROR record: 206 when the folder does not fit, 1627 when it cannot be found or has no
// ANSI form.
DWORD GetUserDataFolderChecked(char (&folder)[kUserDataFolderSize]);
// The same, true on success.
bool GetUserDataFolder(char (&folder)[kUserDataFolderSize]);

// Writing the embedded payload (kit database, cabinets, auto-update database) into the per-user folders.
#pragma once

#include <windows.h>

#include <cstddef>

#include "process/bitness.h"
#include "process/exit_codes.h"

// Capacities, in characters including the terminator, of the payload path buffers.
constexpr size_t kUserDataFolderSize = MAX_PATH;
constexpr size_t kPayloadPathSize = 272;
constexpr size_t kAutoUpdatePathSize = MAX_PATH;

// The name of the manual-reset event that tells the kit database the cabinets are complete.
constexpr const char* kCabExtractEventName = "LumoTBXCabExtractWaitEvent";

// Why the per-user data folder cannot be used when it is not too long.
constexpr DWORD kUserDataFolderMissing = kExitFunctionFailed;

// The per-user data folder (LocalLow, or the roaming application data before Windows 6.0), without a
// trailing backslash, in an ANSI form that names exactly that folder (its short name when the long one has
// none). 0, or after an ERROR record: 206 when the folder does not fit, 1627 when it cannot be found or has no
// ANSI form.
DWORD GetUserDataFolderChecked(char (&folder)[kUserDataFolderSize]);
// The same, true on success.
bool GetUserDataFolder(char (&folder)[kUserDataFolderSize]);

// Creates the kit folder chain and writes the kit database path into `path` 
// False when a name does not fit its buffer.
bool GetMsiPath(char (&path)[kPayloadPathSize], bool is64);

// Creates the kit folder chain and writes the path of cabinet `baseName` into `path`.
bool GetCabPath(char (&path)[kPayloadPathSize], const char* baseName, bool is64);

// The outcome of writing one payload file: the Win32 error code and the failing step, or success.
struct PayloadWriteResult {
    DWORD error = ERROR_SUCCESS;
    const char* what = nullptr;
    bool ok() const { return what == nullptr; }
};

// Writes the resource to `path` in chunks of 8192 bytes. A failed write or close deletes the cut file.
PayloadWriteResult writeResourceFile(HMODULE module, const char* path, HRSRC resource);

// Writes the resource to `path`; returns 1. Any file error is reported (a box unless the run is silent) and
// ends the process with the Win32 error code.
int WriteResourceToFile(HMODULE module, const char* path, HRSRC resource);

// Writes the four cabinets in their fixed order (a missing resource is skipped); stops at the first failure.
PayloadWriteResult writeCabinetFiles(HMODULE module);

// The call that writes payload chunks; tests put a failing one in front of WriteFile. Null restores WriteFile.
using WriteFileFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
void setPayloadWriteFunction(WriteFileFunction write);

// Thread routine, argument = the executable's module handle: writes the four cabinets, then sets the event,
// also after a failure; returns 1.
DWORD WINAPI ExtractCabFiles(LPVOID module);
// What the cabinet thread's last run came to; read it only after the thread has ended.
PayloadWriteResult cabinetThreadResult();

// Writes the auto-update database and installs it: InstallAutoUpdate's result, -1 when a folder cannot
// be created, -5 when the database resource is missing.
int ExtractAutoUpdateMsi(HMODULE module, bool autoUpdateEnabled);

// Writing the embedded payload (kit database, cabinets, auto-update database) into the per-user folders.
#pragma once

#include <windows.h>

#include <cstddef>

#include "process/bitness.h"
#include "launcher/run_holds.h"
#include "launcher/user_data_folder.h"
#include "process/engine_logs.h"
#include "process/exit_codes.h"

// The name of the manual-reset event that tells the kit database the cabinets are complete.
constexpr const char* kCabExtractEventName = "LumoTBXCabExtractWaitEvent";

class PerUserPaths;

// The kit database path below the per-user folder (its folder chain created and checked). False when a name does
// not fit its buffer, or after a tampering report.
bool GetMsiPath(char (&path)[kPayloadPathSize], bool is64);

// The same for cabinet `baseName`.
bool GetCabPath(char (&path)[kPayloadPathSize], const char* baseName, bool is64);

// The outcome of writing one payload file: the Win32 error code and the failing step, or success. `tampered`
// says that the file or a folder of its chain was changed by someone else (reported already), which is no
// Win32 error of the write.
struct PayloadWriteResult {
    DWORD error = ERROR_SUCCESS;
    const char* what = nullptr;
    bool tampered = false;
    bool ok() const { return what == nullptr; }
};

// The call that writes payload chunks: WriteFile, or in tests one that fails.
using WriteFileFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

// Writes the resource to `path` in chunks of 8192 bytes with `write`, then checks it against the resource and
// holds it in `holds`. The file is made inside the handle of its folder, which `holds` must hold already (the
// paths of PerUserPaths do; ERROR_PATH_NOT_FOUND otherwise). A failed write or close deletes the cut file.
PayloadWriteResult WriteResourceToFile(RunHolds& holds, HMODULE module, const char* path, HRSRC resource,
                                       WriteFileFunction write = &WriteFile);

// What the cabinet thread writes and where it reports: owned by whoever starts the thread, read after it ended.
struct CabinetJob {
    HMODULE module = nullptr;
    const PerUserPaths* paths = nullptr;
    bool is64 = true;
    HANDLE event = nullptr;  // the run's cabinet event; set when the thread is done
    WriteFileFunction write = &WriteFile;
    PayloadWriteResult result;
};

// Writes the four cabinets in their fixed order (a missing resource is skipped); stops at the first failure.
PayloadWriteResult writeCabinetFiles(const CabinetJob& job);

// Thread routine, argument = a CabinetJob: writes the four cabinets, stores the outcome in the job, then sets
// the event, also after a failure; returns 1.
DWORD WINAPI ExtractCabFiles(LPVOID job);

// What writing and installing the auto-update database came to.
enum class AutoUpdateExtraction {
    Installed,       // the install ran; `installerResult` is InstallAutoUpdate's result
    NotCarried,      // the launcher carries no auto-update database
    FolderUnusable,  // a folder could not be made or its name does not fit (logged)
    WriteFailed,     // the database could not be written (logged)
    Tampered,        // a folder or the written file was changed by someone else (reported)
};
struct AutoUpdateOutcome {
    AutoUpdateExtraction what = AutoUpdateExtraction::Installed;
    int installerResult = 0;
};

// Writes the auto-update database below the per-user folder and installs it.
AutoUpdateOutcome ExtractAutoUpdateMsi(HMODULE module, const PerUserPaths& paths, bool autoUpdateEnabled,
                                       EngineLogs* logs = nullptr);

// Writing one embedded payload file (the kit database, a cabinet, the auto-update database) into a held folder.
#pragma once

#include <windows.h>

#include <cstddef>

#include "launcher/run_holds.h"
#include "process/exit_codes.h"

// The name of the manual-reset event that tells the kit database the cabinets are complete: set before the kit's
// engine starts, since every cabinet is written by then.
constexpr const char* kCabExtractEventName = "LumoTBXCabExtractWaitEvent";

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

// The call the run writes its payload with: WriteFile, unless a test build has put one in its place.
WriteFileFunction payloadWriteFunction();
void setPayloadWriteFunction(WriteFileFunction write);

// Writes the resource to `path` in chunks of 8192 bytes with `write`, then checks it against the resource and
// holds it in `holds`. The file is made inside the handle of its folder, which `holds` must hold already (the
// package cache's run folder is; ERROR_PATH_NOT_FOUND otherwise). A failed write or close deletes the cut file.
PayloadWriteResult WriteResourceToFile(RunHolds& holds, HMODULE module, const char* path, HRSRC resource,
                                       WriteFileFunction write = &WriteFile);

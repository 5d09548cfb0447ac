// Writing payload files afresh, then keeping them exactly as written while the run needs them.
#pragma once

#include <windows.h>

#include "launcher/run_holds.h"
#include "platform/win_handles.h"

#include <string>

// The create call; tests put a recorder in front of CreateFileA, since Wine keeps no access list to read back.
using PayloadFileCreator = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);

// Creates `path` new for writing, with no sharing. An entry already there (a file from an earlier run, or a
// link someone put there) is removed by its own name first, never followed. Empty on failure, with
// GetLastError() telling why.
// The file gets payloadFileSecurityText() in the create call.
UniqueFile createPayloadFile(const char* path, PayloadFileCreator create = &CreateFileA);

// A payload file's descriptor as SDDL: owner administrators; SYSTEM and administrators full access, everyone
// read and execute; nothing inherited.
std::wstring payloadFileSecurityText();

// After the write handle is closed: reopens `path` read-only, sharing read only (so no one else can write,
// replace, rename or delete it while it is held), checks that it holds exactly `size` bytes equal to `data`
// and holds it in `holds`. False after holds.reportTampering when it cannot be reopened or differs; a file that
// differs is removed when it can be.
bool holdVerifiedPayload(RunHolds& holds, const char* path, const char* data, DWORD size);

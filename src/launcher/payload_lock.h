// Writing payload files afresh inside their held folder, then keeping them exactly as written while the run needs
// them.
#pragma once

#include <windows.h>

#include <string>

#include "launcher/run_holds.h"
#include "platform/win_handles.h"

// Creates `name` new inside the held `folder`, for writing and deleting, with no sharing, with
// payloadFileSecurityText() in the call that creates it. An entry already there (a link, or what an earlier
// write left) is removed as itself first, never followed. Empty on failure, with GetLastError() telling why.
UniqueFile createPayloadFile(HANDLE folder, const std::string& name);

// A payload file's descriptor as SDDL: owner administrators; SYSTEM and administrators full access, users
// read and execute; nothing inherited.
std::wstring payloadFileSecurityText();

// After the write handle is closed: reopens `name` inside the held `folder` read-only, sharing read only (so no
// one else can write, replace, rename or delete it while it is held), checks that it holds exactly `size` bytes
// equal to `data` and holds it in `holds`. False after holds.reportTampering (naming the file by `path`) when it
// cannot be reopened or differs; a file that differs is removed when it can be.
bool holdVerifiedPayload(RunHolds& holds, HANDLE folder, const std::string& name, const std::string& path,
                         const char* data, DWORD size);

// Whether the runtime settings file can be written, found out before anything depends on it.
#pragma once

#include <windows.h>

#include <string>

// 0 when the file at `path` could be replaced (or created, or deleted) now: its folder exists or can be made
// and takes a new file, and an existing file opens for writing and deleting. Otherwise the Win32 error code.
// A file that others hold open is tried again for a short while before it counts as not writable.
DWORD probeFileReplaceable(const std::wstring& path);

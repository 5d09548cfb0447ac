// Whether the runtime settings file can be written, found out before anything depends on it.
#pragma once

#include <windows.h>

#include "installconfig/runtime_settings_trust.h"

// 0 when the held runtime settings file could be replaced (or created, or deleted) now: its folders exist or
// are made, protected, and take a new file, and an existing file was taken with delete access. Otherwise the
// Win32 error code.
DWORD probeFileReplaceable(RuntimeSettingsCheck& file, const std::wstring& path);

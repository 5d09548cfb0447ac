// Locating the Windows Installer engine, msiexec.exe.
#pragma once

#include <cstddef>

// The full path of msiexec.exe into `buffer` (`capacity` characters, callers pass MAX_PATH); false when the
// installer location cannot be read or the path does not fit.
bool GetMsiexecPath(char* buffer, size_t capacity);

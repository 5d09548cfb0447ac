// Stand-in for the installation guard's path and the reinstall status; the real guard replaces this file.
#pragma once

#include <cstddef>

// The guard flag file path, F\Lumo\Zolt\ZOLT_INSTALL_FLAG, creating the folders; `path` holds MAX_PATH.
bool GetInstallFlagPath(char* path);
// The "InstallStatus" text into `buffer`; true when one was read.
bool ReadInstallStatus(char* buffer, size_t capacity);
// Removes the "InstallStatus" value; true when its key could be opened.
bool ClearInstallStatus();

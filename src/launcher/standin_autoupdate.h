// Stand-in for the auto-update installation; the real auto-update component replaces this file.
#pragma once

// Installs the auto-update database at `msiPath`: 0 on success.
int InstallAutoUpdate(const char* msiPath, bool enabled);

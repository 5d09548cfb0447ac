// Removal of an installed kit or runtime of this version before the kit is installed again.
#pragma once

#include <windows.h>

#include <string>

// Whether `code` has an entry below the Uninstall key of the 64-bit (or 32-bit) registry view.
bool isProductCodeRegistered(const std::string& code, bool view64);
// Runs "msiexec /x <code>" quietly; the engine's exit code, 1627 when it cannot be started.
DWORD uninstallProductCode(const std::string& code, bool silent);
// Removes the runtime of this version when its product code is registered: 0, or the engine's exit code.
DWORD CheckGUIDAndUninstall(int arch, bool view64, bool silent);
// Removes the kit of this version; true only when the engine removed it.
bool UninstallExistingTBX(bool silent);
// True when the installation may proceed: a same-version kit of the same or an older build and a non-static
// same-version runtime are removed first; a newer kit build stops it (with a message unless silent).
bool UninstallPLNOrTBXIfSameVersionExists(bool silent);

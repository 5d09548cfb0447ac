// Removal of an installed kit or runtime of this version before the kit is installed again.
#pragma once

#include <windows.h>

#include <string>

// Whether `code` has an entry below the Uninstall key of the 64-bit (or 32-bit) registry view.
bool isProductCodeRegistered(const std::string& code, bool view64);
// Runs "msiexec /x <code>" quietly and never lets it restart the machine; the engine's exit code, 1627 when it
// cannot be started.
DWORD uninstallProductCode(const std::string& code, bool silent);
// Removes the runtime of this version when its product code is registered: 0 when it is not, else the engine's
// exit code (3010 is a removal that wants a restart).
DWORD CheckGUIDAndUninstall(int arch, bool view64, bool silent);
// Removes the kit of this version; true only when the engine removed it. A removal that wants a restart sets
// *rebootRequired.
bool UninstallExistingTBX(bool silent, bool* rebootRequired = nullptr);
// True when the installation may proceed: a same-version kit of the same or an older build and a non-static
// same-version runtime are removed first; a newer kit build stops it (with a message unless silent). A removal that
// wants a restart (3010) still lets it proceed and sets *rebootRequired.
bool UninstallPLNOrTBXIfSameVersionExists(bool silent, bool* rebootRequired = nullptr);

// Comparing the registered auto-update version with the one in the payload.
#include "products/auto_update_version.h"

#include <cstring>

#include "buildinfo/build_constants.h"
#include "platform/registry_key.h"
#include "platform/version_details.h"
#include "products/installed_products.h"

bool readAUVersion(char (&buffer)[2048]) {
    std::memset(buffer, 0, sizeof buffer);
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, zoltkeys::autoUpdate, KEY_READ | KEY_WOW64_32KEY) != ERROR_SUCCESS) return false;
    // One byte is kept back so that a value stored without a terminator still ends in one.
    DWORD size = sizeof buffer - 1;
    return RegQueryValueExA(key.get(), "AUVersion", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) ==
           ERROR_SUCCESS;
}

bool isOwnAUNewer() {
    char installed[2048];
    if (!readAUVersion(installed)) return false;
    return VersionDetails::Dotted(buildconstants::autoUpdateVersion) > VersionDetails::Dotted(installed);
}

bool isAUUpgradeNeeded() {
    char installed[2048];
    if (!readAUVersion(installed)) return true;
    return VersionDetails::Dotted(installed) < VersionDetails::Dotted(buildconstants::autoUpdateVersion);
}

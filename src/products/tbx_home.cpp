// Reading the kit home of this version from the registry.
#include "products/tbx_home.h"

#include <string>

#include "buildinfo/build_constants.h"
#include "platform/logger.h"
#include "platform/registry_key.h"
#include "products/installed_products.h"

bool FindTBXHome(char* buffer, size_t capacity) {
    std::string keyPath = std::string(zoltkeys::kitRoot) + "\\" + buildconstants::productVersion;
    RegistryKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_READ) != ERROR_SUCCESS) {
        logit("FindTBXHome: Failed to open TBX main key!!");
        return false;
    }
    DWORD length = static_cast<DWORD>(capacity);
    // An empty home would turn the runtime installer's path into one at the root of the current drive.
    if (key.QueryStringValue("ZoltHome", buffer, &length) != ERROR_SUCCESS || buffer[0] == '\0') {
        if (capacity > 0) buffer[0] = '\0';
        logit("FindTBXHome: Failed to query ZoltHome value!!");
        return false;
    }
    return true;
}

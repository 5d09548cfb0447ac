// Stand-in for installed-product management; the real products subsystem replaces this file.
#include "standin_products.h"

#include <windows.h>

#include <string>

#include "build_constants.h"
#include "logger.h"
#include "win_handles.h"

bool UninstallPLNOrTBXIfSameVersionExists(bool) { return true; }

bool FindTBXHome(char* buffer, size_t capacity) {
    std::string keyPath = std::string("SOFTWARE\\Zoltsys\\Zolt Development Kit\\") + buildconstants::productVersion;
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) {
        logit("FindTBXHome: Failed to open TBX main key!!");
        return false;
    }
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(capacity - 1);
    if (RegQueryValueExA(key.get(), "ZoltHome", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        logit("FindTBXHome: Failed to query ZoltHome value!!");
        return false;
    }
    buffer[size] = '\0';
    return true;
}

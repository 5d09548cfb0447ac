// A clean policy store for each test: the policy keys are removed before and after it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/registry_key.h"

namespace policytest {

// Removes "SOFTWARE\Zoltsys\Zolt Update" below HKLM and HKCU in the 32-bit view.
inline void removePolicyKeys() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, "SOFTWARE\\Zoltsys", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
            RegDeleteTreeA(key, "Zolt Update");
            RegCloseKey(key);
        }
    }
}

class PolicyStoreTest : public ::testing::Test {
protected:
    void SetUp() override { removePolicyKeys(); }
    void TearDown() override { removePolicyKeys(); }

    static const RegistryKey& root(bool user) { return user ? RegistryKey::currentUser32 : RegistryKey::localMachine32; }
    // The stored bytes and registry type of a value.
    static std::vector<BYTE> raw(bool user, const char* key, const char* name, DWORD& type) {
        return RegistryKey(root(user), key).queryValue(name, type);
    }
    static bool hasValue(bool user, const char* key, const char* name) {
        HKEY handle = nullptr;
        if (RegOpenKeyExA(user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_32KEY,
                          &handle) != ERROR_SUCCESS)
            return false;
        LONG result = RegQueryValueExA(handle, name, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(handle);
        return result == ERROR_SUCCESS;
    }
};

}  // namespace policytest

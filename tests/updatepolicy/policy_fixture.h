// A clean policy store for each test: the policy keys it creates are removed after it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/registry_key.h"
#include "test_support.h"

namespace policytest {

// The policy keys, "SOFTWARE\Zoltsys\Zolt Update" below HKLM and HKCU in the 32-bit view: the suite's fresh
// prefix has none, each test creates them and they are removed after it.
class PolicyStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(machinePolicy.wasPresent() || userPolicy.wasPresent()) << "the suite runs in a prefix of its own";
    }
    void TearDown() override { removePolicyKeys(); }
    void removePolicyKeys() const {
        machinePolicy.remove();
        userPolicy.remove();
    }

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

    const testing_support::OwnedKey machinePolicy{HKEY_LOCAL_MACHINE, "SOFTWARE\\Zoltsys\\Zolt Update", KEY_WOW64_32KEY};
    const testing_support::OwnedKey userPolicy{HKEY_CURRENT_USER, "SOFTWARE\\Zoltsys\\Zolt Update", KEY_WOW64_32KEY};
};

}  // namespace policytest

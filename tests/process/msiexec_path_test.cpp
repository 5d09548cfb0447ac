// Locating msiexec.exe through the installer's registered location.
#include "process/msiexec_path.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/registry_key.h"

namespace {

constexpr const char* kInstallerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";

// Replaces InstallerLocation for one test and puts the original back.
class InstallerLocationOverride {
public:
    InstallerLocationOverride() {
        EXPECT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_READ | KEY_WRITE));
        char value[MAX_PATH * 2] = "";
        DWORD size = sizeof value - 1;
        hadValue = RegQueryValueExA(key.get(), "InstallerLocation", nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
        original = value;
    }
    ~InstallerLocationOverride() {
        if (hadValue)
            RegSetValueExA(key.get(), "InstallerLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(original.c_str()),
                           static_cast<DWORD>(original.size() + 1));
        else
            RegDeleteValueA(key.get(), "InstallerLocation");
    }
    void set(const std::string& value) {
        RegSetValueExA(key.get(), "InstallerLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    void remove() { RegDeleteValueA(key.get(), "InstallerLocation"); }
    const std::string& originalValue() const { return original; }

private:
    RegistryKey key;
    bool hadValue = false;
    std::string original;
};

TEST(MsiexecPath, IsTheInstallerLocationWithTheProgramName) {
    InstallerLocationOverride location;
    char path[MAX_PATH];
    ASSERT_TRUE(GetMsiexecPath(path, sizeof path));
    EXPECT_EQ(location.originalValue() + "\\msiexec.exe", path);
}

TEST(MsiexecPath, FailsWithoutALocationOrWhenThePathWouldNotFit) {
    InstallerLocationOverride location;
    char path[MAX_PATH];
    location.remove();
    EXPECT_FALSE(GetMsiexecPath(path, sizeof path));
    location.set("C:\\" + std::string(MAX_PATH - 14, 'x'));  // fits alone, not with "\msiexec.exe"
    EXPECT_FALSE(GetMsiexecPath(path, sizeof path));
    location.set("C:\\" + std::string(MAX_PATH + 20, 'x'));  // does not even fit as read
    EXPECT_FALSE(GetMsiexecPath(path, sizeof path));
    location.set("D:\\Engine");
    ASSERT_TRUE(GetMsiexecPath(path, sizeof path));
    EXPECT_STREQ("D:\\Engine\\msiexec.exe", path);
}

}  // namespace

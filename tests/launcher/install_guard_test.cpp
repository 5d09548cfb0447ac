// The guard flag path and the reinstall status in the real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/install_guard.h"
#include "launcher/user_data_folder.h"
#include "launcher/payload.h"
#include "platform/registry_key.h"
#include "test_support.h"

namespace {

bool zoltsysExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zoltsys", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Writes the status value, in the process's own view as the installed product does.
void setStatus(DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zoltsys", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "InstallStatus", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size())));
    RegCloseKey(key);
}

// The status lives in a key of its own that the suite's fresh prefix does not have: the tests create it.
class InstallStatusTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(zoltsys.wasPresent()) << "the suite runs in a prefix of its own"; }
    void deleteZoltsys() const { zoltsys.remove(); }
    testing_support::OwnedKey zoltsys{HKEY_LOCAL_MACHINE, "Software\\Zoltsys", KEY_WOW64_64KEY};
};

TEST_F(InstallStatusTest, ReadsOnlyANonEmptyText) {
    struct Case {
        const char* name;
        DWORD type;  // REG_NONE: no value at all
        std::string bytes;
        size_t capacity;
        bool read;
        const char* text;
    };
    const Case cases[] = {
        {"no key", REG_NONE, "", 512, false, ""},
        {"reinstall", REG_SZ, std::string("reinstall\0", 10), 512, true, "reinstall"},
        {"other case", REG_SZ, std::string("Reinstall\0", 10), 512, true, "Reinstall"},
        {"empty", REG_SZ, std::string("\0", 1), 512, false, ""},
        {"number", REG_DWORD, std::string("\1\0\0\0", 4), 512, false, ""},
        {"too long for the buffer", REG_SZ, std::string("reinstall\0", 10), 6, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        deleteZoltsys();
        if (c.type != REG_NONE) setStatus(c.type, c.bytes);
        char buffer[512];
        std::memset(buffer, 'x', sizeof buffer);
        buffer[0] = '\0';
        EXPECT_EQ(c.read, ReadInstallStatus(buffer, c.capacity));
        EXPECT_STREQ(c.text, buffer);
    }
}

TEST_F(InstallStatusTest, ClearingRemovesTheValueAndAnEmptyKey) {
    EXPECT_FALSE(ClearInstallStatus()) << "no key to open";

    setStatus(REG_SZ, std::string("reinstall\0", 10));
    EXPECT_TRUE(ClearInstallStatus());
    EXPECT_FALSE(zoltsysExists());

    setStatus(REG_SZ, std::string("reinstall\0", 10));
    RegistryKey(RegistryKey::localMachine64, "Software\\Zoltsys\\Zolt Development Kit", RegistryKey::write);
    EXPECT_TRUE(ClearInstallStatus());
    ASSERT_TRUE(zoltsysExists()) << "a key with subkeys stays";
    char buffer[512] = "";
    EXPECT_FALSE(ReadInstallStatus(buffer, sizeof buffer));
    deleteZoltsys();

    setStatus(REG_SZ, std::string("reinstall\0", 10));
    RegistryKey(RegistryKey::localMachine64, "Software\\Zoltsys", RegistryKey::write).setString("Other", "kept");
    EXPECT_TRUE(ClearInstallStatus());
    EXPECT_TRUE(zoltsysExists()) << "a key with other values stays";
    EXPECT_TRUE(ClearInstallStatus()) << "a missing value is no error";
}

TEST(InstallFlagPath, IsBelowTheUserDataFolderWithItsFoldersCreated) {
    char folder[MAX_PATH] = "";
    ASSERT_TRUE(GetUserDataFolder(folder));
    char path[MAX_PATH] = "";
    ASSERT_TRUE(GetInstallFlagPath(path));
    EXPECT_EQ(std::string(folder) + "\\Lumo\\Zolt\\ZOLT_INSTALL_FLAG", path);
    DWORD attributes = GetFileAttributesA((std::string(folder) + "\\Lumo\\Zolt").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    // A second call finds the folders there and gives the same path.
    char again[MAX_PATH] = "";
    ASSERT_TRUE(GetInstallFlagPath(again));
    EXPECT_STREQ(path, again);
}

TEST(InstallFlagPath, HeldFlagRefusesDeletionAndCreation) {
    char path[MAX_PATH] = "";
    ASSERT_TRUE(GetInstallFlagPath(path));
    DeleteFileA(path);
    HANDLE held = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(DeleteFileA(path));
    DWORD code = GetLastError();
    EXPECT_TRUE(code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION)
        << code;
    CloseHandle(held);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path)) << "gone with its handle";
}

}  // namespace

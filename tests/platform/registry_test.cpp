// The registry key, in its throwing and its plain use, against the real registry, in both views, under a
// test-only key.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/registry_key.h"

namespace {

const std::string kTestKeyName = "TbxRegistryTest-" + std::to_string(GetCurrentProcessId());
const std::string kTestKey = "SOFTWARE\\" + kTestKeyName;

void deleteTestKey(REGSAM view) {
    HKEY software = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | view, &software) == ERROR_SUCCESS) {
        RegDeleteTreeA(software, kTestKeyName.c_str());
        RegDeleteKeyExA(software, kTestKeyName.c_str(), view, 0);
        RegCloseKey(software);
    }
}

// Writes a value with exactly the bytes and type given, bypassing the classes under test.
void setRaw(const RegistryKey& key, const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size())));
}

template <class F>
std::string thrownText(F f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

struct View {
    const char* name;
    const RegistryKey& root;
    const RegistryKey& other;
    REGSAM bit;
};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        deleteTestKey(KEY_WOW64_32KEY);
        deleteTestKey(KEY_WOW64_64KEY);
    }
    void TearDown() override {
        deleteTestKey(KEY_WOW64_32KEY);
        deleteTestKey(KEY_WOW64_64KEY);
    }
    const View views[2] = {{"32-bit", RegistryKey::localMachine32, RegistryKey::localMachine64, KEY_WOW64_32KEY},
                           {"64-bit", RegistryKey::localMachine64, RegistryKey::localMachine32, KEY_WOW64_64KEY}};
};

TEST_F(RegistryTest, TypedValuesRoundTripInEachViewAndStayInIt) {
    for (const View& v : views) {
        SCOPED_TRACE(v.name);
        {
            RegistryKey key(v.root, kTestKey, RegistryKey::write);
            EXPECT_EQ(v.bit, key.views());
            key.setDword("Number", 0xA1B2C3D4u);
            key.setString("Text", "C:\\Zolt\\tbx 1.9");
            key.setBinary("Bytes", {0, 1, 2, 255});
            std::vector<BYTE> big(10000, 0x5A);
            key.setBinary("Big", big);
        }
        RegistryKey key(v.root, kTestKey);
        EXPECT_EQ(0xA1B2C3D4u, key.queryDword("Number"));
        EXPECT_EQ("C:\\Zolt\\tbx 1.9", key.queryString("Text"));
        EXPECT_EQ((std::vector<BYTE>{0, 1, 2, 255}), key.queryBinary("Bytes"));
        EXPECT_EQ(std::vector<BYTE>(10000, 0x5A), key.queryBinary("Big"));

        EXPECT_TRUE(RegistryKey::exists(v.root, kTestKey));
        EXPECT_FALSE(RegistryKey::exists(v.other, kTestKey));
        deleteTestKey(v.bit);
    }
}

TEST_F(RegistryTest, FailuresCarryOperationNameAndReason) {
    RegistryKey key(RegistryKey::localMachine32, kTestKey, RegistryKey::write);
    setRaw(key, "Short", REG_DWORD, std::string("\x01\x02\x03", 3));
    setRaw(key, "Quad", REG_QWORD, std::string(8, '\x01'));
    key.setString("Text", "abc");
    key.setDword("Number", 7);

    struct Case {
        const char* name;
        std::string (*run)(const RegistryKey&);
        std::string expected;
    };
    const Case cases[] = {
        {"missing key", [](const RegistryKey&) { return thrownText([] { RegistryKey(RegistryKey::localMachine32, kTestKey + "\\Missing"); }); },
         "open key (" + kTestKey + "\\Missing) error: 2"},
        {"missing value", [](const RegistryKey& k) { return thrownText([&] { k.queryString("Nope"); }); },
         "query value (Nope) error: 2"},
        {"dword of 3 bytes", [](const RegistryKey& k) { return thrownText([&] { k.queryDword("Short"); }); },
         "query dword value (Short) error: wrong size"},
        {"qword as dword", [](const RegistryKey& k) { return thrownText([&] { k.queryDword("Quad"); }); },
         "query dword value (Quad) error: wrong type"},
        {"dword as string", [](const RegistryKey& k) { return thrownText([&] { k.queryString("Number"); }); },
         "query string value (Number) error: wrong type"},
        {"string as binary", [](const RegistryKey& k) { return thrownText([&] { k.queryBinary("Text"); }); },
         "query binary value (Text) error: wrong type"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, c.run(key));
    }
    EXPECT_EQ("fallback", key.queryString("Number", "fallback"));
    EXPECT_EQ("fallback", key.queryString("Nope", "fallback"));
    EXPECT_EQ("abc", key.queryString("Text", "fallback"));
}

TEST_F(RegistryTest, WritingBelowAReadOnlyKeyIsRefusedWithTheCode) {
    { RegistryKey create(RegistryKey::localMachine64, kTestKey, RegistryKey::write); }
    RegistryKey key(RegistryKey::localMachine64, kTestKey);
    EXPECT_EQ("set string value (Text) error: 5", thrownText([&] { key.setString("Text", "x"); }));
    EXPECT_EQ("set dword value (N) error: 5", thrownText([&] { key.setDword("N", 1); }));
    EXPECT_EQ("set binary value (B) error: 5", thrownText([&] { key.setBinary("B", {1}); }));
}

TEST_F(RegistryTest, StringsLoseExactlyOneTerminatorAndAreNeverExpanded) {
    RegistryKey key(RegistryKey::localMachine64, kTestKey, RegistryKey::write);
    struct Case {
        const char* name;
        DWORD type;
        std::string stored;
        std::string expected;
    };
    const Case cases[] = {
        {"one terminator", REG_SZ, std::string("abc\0", 4), "abc"},
        {"two terminators", REG_SZ, std::string("abc\0\0", 5), std::string("abc\0", 4)},
        {"no terminator", REG_SZ, "abc", "abc"},
        {"empty", REG_SZ, "", ""},
        {"expandable", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9), "%TEMP%\\x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setRaw(key, c.name, c.type, c.stored);
        EXPECT_EQ(c.expected, key.queryString(c.name));
    }
}

TEST_F(RegistryTest, EmptyBinaryValueIsAnEmptyVector) {
    RegistryKey key(RegistryKey::localMachine32, kTestKey, RegistryKey::write);
    key.setBinary("Empty", {});
    DWORD type = REG_NONE;
    EXPECT_TRUE(key.queryValue("Empty", type).empty());
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_TRUE(key.queryBinary("Empty").empty());
}

TEST_F(RegistryTest, SubkeysAreEnumeratedAndInheritTheView) {
    RegistryKey key(RegistryKey::localMachine32, kTestKey, RegistryKey::write);
    EXPECT_TRUE(key.enumSubkeys().empty());
    for (const char* name : {"1.9.3_17", "1.9", "Zolt Runtime Environment"})
        RegistryKey(key, name, RegistryKey::write);
    std::vector<std::string> names = key.enumSubkeys();
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"1.9", "1.9.3_17", "Zolt Runtime Environment"}), names);

    RegistryKey child(key, "1.9");
    EXPECT_EQ(static_cast<DWORD>(KEY_WOW64_32KEY), child.views());
    EXPECT_FALSE(RegistryKey::exists(RegistryKey::localMachine64, kTestKey + "\\1.9"));
}

TEST_F(RegistryTest, MovedKeyKeepsItsHandleAndTheSourceLetsGo) {
    RegistryKey first(RegistryKey::localMachine64, kTestKey, RegistryKey::write);
    first.setString("Text", "moved");
    RegistryKey second(std::move(first));
    EXPECT_EQ(nullptr, first.get());
    EXPECT_EQ("moved", second.queryString("Text"));
    RegistryKey third(RegistryKey::localMachine32, kTestKey, RegistryKey::write);
    third = std::move(second);
    EXPECT_EQ("moved", third.queryString("Text"));
    EXPECT_EQ(static_cast<DWORD>(KEY_WOW64_64KEY), third.views());
}

// The plain use: result codes instead of exceptions.
class RegistryKeyPlainUse : public RegistryTest {};

TEST_F(RegistryKeyPlainUse, QueryStringValueChecksTypeAndTerminator) {
    {
        RegistryKey key(RegistryKey::localMachine64, kTestKey, RegistryKey::write);
        setRaw(key, "Text", REG_SZ, std::string("reinstall\0", 10));
        setRaw(key, "Empty", REG_SZ, "");
        key.setDword("Number", 3);
    }
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, kTestKey.c_str(), KEY_READ | KEY_WOW64_64KEY));

    struct Case {
        const char* name;
        DWORD capacity;
        LONG result;
        std::string text;
        DWORD length;
    };
    const Case cases[] = {
        {"Text", 512, ERROR_SUCCESS, "reinstall", 10},
        {"Text", 10, ERROR_SUCCESS, "reinstall", 10},
        {"Text", 9, ERROR_MORE_DATA, "", 10},
        {"Empty", 512, ERROR_SUCCESS, "", 1},
        {"Number", 512, ERROR_INVALID_DATA, "", 0},
        {"Missing", 512, ERROR_FILE_NOT_FOUND, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " in " + std::to_string(c.capacity));
        std::vector<char> buffer(c.capacity + 1, 'x');
        DWORD length = c.capacity;
        EXPECT_EQ(c.result, key.QueryStringValue(c.name, buffer.data(), &length));
        EXPECT_EQ('x', buffer[c.capacity]) << "wrote past the capacity";
        if (c.result == ERROR_SUCCESS) {
            EXPECT_EQ(c.text, std::string(buffer.data()));
            EXPECT_EQ(c.length, length);
        } else if (c.result == ERROR_MORE_DATA) {
            EXPECT_EQ(c.length, length);
        }
    }
}

TEST_F(RegistryKeyPlainUse, FailedOpenKeepsThePreviousKey) {
    { RegistryKey key(RegistryKey::localMachine32, kTestKey, RegistryKey::write); key.setString("Text", "kept"); }
    RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, kTestKey.c_str(), KEY_READ | KEY_WOW64_32KEY));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_LOCAL_MACHINE, (kTestKey + "\\Missing").c_str(), KEY_READ));
    char buffer[16];
    DWORD length = sizeof buffer;
    EXPECT_EQ(ERROR_SUCCESS, key.QueryStringValue("Text", buffer, &length));
    EXPECT_STREQ("kept", buffer);
    EXPECT_EQ(ERROR_SUCCESS, key.Close());
    EXPECT_EQ(nullptr, key.get());
}

TEST_F(RegistryKeyPlainUse, DeleteSubKeyWorksInTheViewItWasOpenedWith) {
    for (const View& v : views) {
        SCOPED_TRACE(v.name);
        RegistryKey(v.root, kTestKey + "\\Child", RegistryKey::write);
        RegistryKey(v.other, kTestKey + "\\Child", RegistryKey::write);
        RegistryKey parent;
        ASSERT_EQ(ERROR_SUCCESS, parent.Open(HKEY_LOCAL_MACHINE, kTestKey.c_str(), KEY_READ | KEY_WRITE | v.bit));
        EXPECT_EQ(ERROR_SUCCESS, parent.DeleteSubKey("Child"));
        EXPECT_FALSE(RegistryKey::exists(v.root, kTestKey + "\\Child"));
        EXPECT_TRUE(RegistryKey::exists(v.other, kTestKey + "\\Child"));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, parent.DeleteSubKey("Child"));
        deleteTestKey(KEY_WOW64_32KEY);
        deleteTestKey(KEY_WOW64_64KEY);
    }
}

// Both uses share one handle and its view: a key opened plainly is a parent for typed access in that view, and
// a key opened for typed access deletes its subkeys in the view it inherited.
TEST_F(RegistryKeyPlainUse, SharesTheViewWithTheThrowingUse) {
    for (const View& v : views) {
        SCOPED_TRACE(v.name);
        RegistryKey created;
        ASSERT_EQ(ERROR_SUCCESS, created.Create(HKEY_LOCAL_MACHINE, kTestKey.c_str(), KEY_READ | KEY_WRITE | v.bit));
        EXPECT_EQ(v.bit, created.views());
        RegistryKey(created, "Child", RegistryKey::write).setString("Text", "typed");
        EXPECT_EQ("typed", RegistryKey(v.root, kTestKey + "\\Child").queryString("Text"));
        EXPECT_FALSE(RegistryKey::exists(v.other, kTestKey));

        RegistryKey typed(v.root, kTestKey);
        EXPECT_EQ(ERROR_SUCCESS, typed.DeleteSubKey("Child"));
        EXPECT_FALSE(RegistryKey::exists(v.root, kTestKey + "\\Child"));
        EXPECT_EQ(ERROR_SUCCESS, typed.Close());
        EXPECT_EQ(nullptr, typed.get());
        deleteTestKey(v.bit);
    }
}

}  // namespace

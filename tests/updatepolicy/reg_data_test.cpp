// Policy values in their three locations and encodings, in both layouts, against the real registry.
#include "updatepolicy/reg_data.h"

#include <gtest/gtest.h>

#include <wincrypt.h>

#include <stdexcept>

#include "platform/win_handles.h"
#include "policy_fixture.h"
#include "test_support.h"
#include "updatepolicy/protection.h"

namespace {

using au::RegData;
using au::RegDataStore;
using policytest::PolicyStoreTest;

struct StorageCase {
    const char* name;
    RegData definition;
    int mode;
    bool user;        // where the value must land
    const char* key;  // below that root
    DWORD registryType;
};

const StorageCase kStorageCases[] = {
    {"plain machine policy", {0, "OEMDelay", 0}, 1, false, au::policykeys::policy, REG_DWORD},
    {"user protected binary", {2, "OOBD", 1}, 1, true, au::policykeys::policy, REG_BINARY},
    {"machine protected text", {1, "UpdateMin", 2}, 1, false, au::policykeys::check, REG_SZ},
    {"plain in zucheck", {1, "NotifyInstall", 0}, 1, false, au::policykeys::check, REG_DWORD},
    {"old layout: zucheck folds into Policy, text becomes plain", {1, "UpdateMin", 2}, 0, false,
     au::policykeys::policy, REG_DWORD},
    {"old layout keeps user protection", {2, "SDVC", 1}, 0, true, au::policykeys::policy, REG_BINARY},
};

TEST_F(PolicyStoreTest, ValuesLandWhereAndHowTheirDefinitionSays) {
    for (const StorageCase& c : kStorageCases) {
        SCOPED_TRACE(c.name);
        removePolicyKeys();
        const uint32_t value = 0x00A1B2C3;
        {
            RegDataStore store(c.mode);
            RegData::setValue(store, c.definition, value);
            EXPECT_EQ(value, RegData::getValue(store, c.definition));
        }
        DWORD type = REG_NONE;
        std::vector<BYTE> bytes = raw(c.user, c.key, c.definition.name, type);
        EXPECT_EQ(c.registryType, type);
        switch (type) {
            case REG_DWORD:
                EXPECT_EQ(std::vector<BYTE>({0xC3, 0xB2, 0xA1, 0x00}), bytes);
                break;
            case REG_BINARY:
                EXPECT_EQ(value, au::unprotectValue(bytes));
                break;
            case REG_SZ: {
                std::string text(bytes.begin(), bytes.end());
                ASSERT_FALSE(text.empty());
                EXPECT_EQ('\0', text.back());
                text.pop_back();
                EXPECT_EQ(std::string::npos, text.find_first_of("\r\n"));
                EXPECT_EQ(value, au::unprotectValue(au::string2binary(text)));
                break;
            }
        }
        // The same value is nowhere else.
        const bool otherUser = !c.user;
        EXPECT_FALSE(hasValue(otherUser, au::policykeys::policy, c.definition.name));
        EXPECT_FALSE(hasValue(otherUser, au::policykeys::check, c.definition.name));
        const char* otherKey = std::string(c.key) == au::policykeys::policy ? au::policykeys::check : au::policykeys::policy;
        EXPECT_FALSE(hasValue(c.user, otherKey, c.definition.name));
    }
}

TEST_F(PolicyStoreTest, OldLayoutReadsAPlainValueWrittenByAnOlderComponent) {
    RegistryKey(RegistryKey::localMachine32, au::policykeys::policy, RegistryKey::write).setDword("UpdateSchedule", 17);
    RegDataStore store(RegDataStore::oldLayout);
    EXPECT_EQ(17u, RegData::getValue(store, au::values::UpdateSchedule));
    RegDataStore current(RegDataStore::currentLayout);
    EXPECT_THROW(RegData::getValue(current, au::values::UpdateSchedule), std::runtime_error);
}

TEST_F(PolicyStoreTest, ReadFailuresAreLoggedOnceAndRethrown) {
    RegistryKey check(RegistryKey::localMachine32, au::policykeys::check, RegistryKey::write);
    // An 8-byte secret where a 4-byte value is expected, a plain number where text is expected, and no value.
    std::vector<BYTE> eight;
    {
        DATA_BLOB in{8, reinterpret_cast<BYTE*>(const_cast<char*>("12345678"))};
        DATA_BLOB out{};
        ASSERT_TRUE(CryptProtectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out));
        LocalMemory<BYTE*> owner(out.pbData);
        eight.assign(out.pbData, out.pbData + out.cbData);
    }
    RegistryKey(RegistryKey::currentUser32, au::policykeys::policy, RegistryKey::write).setBinary("OOBD", eight);
    check.setDword("Frequency", 3);

    struct Case {
        const char* name;
        RegData definition;
        const char* expected;
    } cases[] = {
        {"binary that decrypts to 8 bytes", au::values::OOBD, "decrypted data has wrong size"},
        {"wrong registry type", au::values::Frequency, "wrong type"},
        {"missing value", au::values::UpdateMin, "UpdateMin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::LogCapture log;
        RegDataStore store(RegDataStore::currentLayout);
        std::string text;
        try {
            RegData::getValue(store, c.definition);
        } catch (const std::runtime_error& e) {
            text = e.what();
        }
        EXPECT_NE(std::string::npos, text.find(c.expected)) << text;
        ASSERT_EQ(1u, log.messages().size());
        EXPECT_EQ("ERROR: getValue(DWORD) failed: " + text, log.messages()[0]);
        EXPECT_NE(std::string::npos, log.raw().find("(au::RegData::getValue)"));
    }
}

TEST_F(PolicyStoreTest, InvalidDefinitionsAreLogicErrors) {
    RegDataStore store(RegDataStore::currentLayout);
    testing_support::LogCapture log;
    try {
        RegData::setValue(store, RegData{3, "X", 0}, 1);
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ("unknown reg location", e.what());
    }
    try {
        RegData::setValue(store, RegData{0, "X", 3}, 1);
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ("unknown encryptionType", e.what());
    }
    EXPECT_TRUE(log.contains("setValue(DWORD) failed: unknown reg location"));
    EXPECT_TRUE(log.contains("setValue(DWORD) failed: unknown encryptionType"));
}

TEST_F(PolicyStoreTest, KeysAreOpenedOncePerLocationAndAccess) {
    RegDataStore store(RegDataStore::currentLayout);
    const RegistryKey& write1 = au::keyFor(store, 1, true);
    const RegistryKey& read1 = au::keyFor(store, 1, false);
    EXPECT_EQ(&write1, &au::keyFor(store, 1, true));
    EXPECT_EQ(&read1, &au::keyFor(store, 1, false));
    EXPECT_NE(write1.get(), read1.get());
    RegDataStore old(RegDataStore::oldLayout);
    EXPECT_EQ(&au::keyFor(old, 0, true), &au::keyFor(old, 1, true));
}

TEST_F(PolicyStoreTest, ReadingAMissingKeyCreatesNothing) {
    RegDataStore store(RegDataStore::currentLayout);
    EXPECT_THROW(RegData::getValue(store, au::values::NotifyDownload), std::runtime_error);
    EXPECT_FALSE(RegistryKey::exists(RegistryKey::localMachine32, au::policykeys::check));
}

}  // namespace

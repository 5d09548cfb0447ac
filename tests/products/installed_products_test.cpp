// Discovery of registered kits and runtimes, the installed build of this version and the kit home.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "buildinfo/build_constants.h"
#include "platform/registry_key.h"
#include "platform/sysinfo.h"
#include "products/installed_products.h"
#include "products/tbx_home.h"
#include "products_fixture.h"

namespace {

using products_test::ProductRegistryTest;
using products_test::setRaw;

const std::string kOwnVersion = buildconstants::productVersion;

RegistryKey versionKey(const RegistryKey& root, const char* family, const std::string& version) {
    return RegistryKey(root, std::string(family) + "\\" + version, RegistryKey::write);
}

std::string describe(const InstalledProduct& p) {
    return std::string(p.name) + " " + std::to_string(p.arch) + " " + p.version.source + " " + p.home +
           (p.isStatic ? " static" : "") + (p.isRuntime ? " runtime" : "");
}

class DiscoveryTest : public ProductRegistryTest {
protected:
    void SetUp() override {
        ProductRegistryTest::SetUp();
        const RegistryKey& lm64 = RegistryKey::localMachine64;
        const RegistryKey& lm32 = RegistryKey::localMachine32;
        {
            RegistryKey k = versionKey(lm64, zoltkeys::runtimeRoot, "1.9.3_17");
            k.setString("ZoltHome", "C:\\pln64");
            RegistryKey msi(k, "MSI", RegistryKey::write);
            msi.setString("FullVersion", "1.9.3_17-b12");
            msi.setString("MODE", "s");
        }
        versionKey(lm64, zoltkeys::runtimeRoot, "1.8.0_5").setString("ZoltHome", "C:\\pln180");
        versionKey(lm64, zoltkeys::runtimeRoot, "1.9").setString("ZoltHome", "C:\\family");
        versionKey(lm64, zoltkeys::runtimeRoot, "1.7.0_1").setString("Other", "no home");
        versionKey(lm64, zoltkeys::runtimeRoot, "bogus.version").setString("ZoltHome", "C:\\bogus");
        versionKey(lm64, zoltkeys::runtimeRoot, "1.6.0_2").setDword("ZoltHome", 1);
        {
            RegistryKey k = versionKey(lm32, zoltkeys::runtimeRoot, "1.9.3_17");
            k.setString("ZoltHome", "C:\\pln32");
            RegistryKey msi(k, "MSI", RegistryKey::write);
            msi.setString("FullVersion", "");
            msi.setString("MODE", "D");
        }
        {
            RegistryKey k = versionKey(lm32, zoltkeys::kitRoot, "1.9.3_17");
            k.setString("ZoltHome", "C:\\tbx32");
            RegistryKey(k, "MSI", RegistryKey::write).setString("MODE", "");
        }
        {
            RegistryKey k = versionKey(lm64, zoltkeys::kitRoot, "1.9.3_17");
            k.setString("ZoltHome", "C:\\tbx64\\");
            RegistryKey msi(k, "MSI", RegistryKey::write);
            msi.setString("FullVersion", "not a version");
        }
    }
};

TEST_F(DiscoveryTest, FindsEveryReadableEntryInSearchOrderAndSkipsTheRest) {
    std::vector<std::string> found;
    for (const InstalledProduct& p : ZoltEnvironment::collectInstalled(0x33)) found.push_back(describe(p));
    std::vector<std::string> expected = {
        "pln 32 1.9.3_17 C:\\pln32 runtime",
        "tbx 32 1.9.3_17 C:\\tbx32 static",
    };
    if (SysInfo::isNative64Bit()) {
        // The 64-bit runtimes come in enumeration order; sort them to compare.
        expected.push_back("pln 64 1.8.0_5 C:\\pln180 runtime");
        expected.push_back("pln 64 1.9.3_17-b12 C:\\pln64 static runtime");
        std::sort(found.begin() + 2, found.end());
    }
    EXPECT_EQ(expected, found);

    // Each bad entry is logged by the discovery, named as such.
    std::string log = this->log.text();
    for (const char* text : {"query value (ZoltHome) error: 2", "Failed to parse [bogus.version]",
                             "query string value (ZoltHome) error: wrong type", "Failed to parse [not a version]"})
        EXPECT_NE(std::string::npos, log.find(text)) << text;
    EXPECT_NE(std::string::npos, log.find("`anonymous-namespace'::detectZolt"));
    EXPECT_EQ(std::string::npos, log.find("family"));
}

TEST_F(DiscoveryTest, SelectsKindsAndViewsByFlags) {
    EXPECT_EQ(1u, ZoltEnvironment::installedPln(32).size());
    EXPECT_EQ(1u, ZoltEnvironment::collectInstalled(0x12).size());
    EXPECT_TRUE(ZoltEnvironment::collectInstalled(0x03).empty());
    EXPECT_EQ(SysInfo::isNative64Bit() ? 2u : 0u, ZoltEnvironment::installedPln(64).size());
}

TEST_F(DiscoveryTest, RefusesUnknownKindsAndViews) {
    struct Case {
        const char* name;
        void (*run)();
        const char* ending;
    };
    const Case cases[] = {
        {"installedPln arch", [] { ZoltEnvironment::installedPln(7); }, "unexpected arch: 7"},
        {"detectZolt type", [] { InstalledProducts out; ZoltEnvironment::detectZolt(out, 2, 32); }, "unexpected type: 2"},
        {"detectZolt arch", [] { InstalledProducts out; ZoltEnvironment::detectZolt(out, 0, 16); }, "unexpected arch: 16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.run();
            ADD_FAILURE() << "nothing thrown";
        } catch (const std::runtime_error& e) {
            std::string text = e.what();
            EXPECT_EQ(c.ending, text.substr(text.size() - std::string(c.ending).size())) << text;
        }
    }
}

TEST_F(DiscoveryTest, SameVersionIgnoresTheBuildAndStaticComesFromTheMode) {
    InstalledProducts products = ZoltEnvironment::installedPln(64);
    auto found = ZoltEnvironment::findSameVersion(products, "1.9.3_17-b40");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ("C:\\pln64", found->home);
    EXPECT_FALSE(ZoltEnvironment::findSameVersion(products, "1.9.3_18").has_value());
    EXPECT_THROW(ZoltEnvironment::findSameVersion(products, "1.9"), std::runtime_error);

    EXPECT_TRUE(IsVersionStatic(true));
    EXPECT_FALSE(IsVersionStatic(false));  // the 32-bit runtime's mode is not "S"
    EXPECT_FALSE(log.contains("cannot find PLN"));
    products_test::deleteTree(KEY_WOW64_32KEY, zoltkeys::runtimeRoot);
    EXPECT_FALSE(IsVersionStatic(false));
    EXPECT_TRUE(log.contains("cannot find PLN: " + kOwnVersion));
}

class InstalledBuildTest : public ProductRegistryTest {};

TEST_F(InstalledBuildTest, ComparesTheRegisteredBuildNumberWithOurs) {
    const RegistryKey& root = products_test::installView() == KEY_WOW64_32KEY ? RegistryKey::localMachine32
                                                                               : RegistryKey::localMachine64;
    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
        bool sameOrOlder;
        const char* logged;
    };
    const Case cases[] = {
        {"same", REG_SZ, std::string("12\0", 3), true, "Existing build: 12 is same/older than current build: 12"},
        {"older", REG_SZ, std::string("9\0", 2), true, "Existing build: 9 is same/older"},
        {"newer", REG_SZ, std::string("13\0", 3), false, "Existing build: 13 is newer than current build: 12"},
        {"blank and sign", REG_SZ, std::string(" +13\0", 5), false, "Existing build: 13 is newer"},
        {"text", REG_SZ, std::string("abc\0", 4), true, "Existing build: 0 is same/older"},
        {"dword", REG_DWORD, std::string("\x0d\0\0\0", 4), true, "Existing build: 0 is same/older"},
        {"no terminator", REG_BINARY, std::string("14"), false, "Existing build: 14 is newer"},
        {"longer than the buffer", REG_SZ, std::string(5000, '7'), false, "is newer"},
    };
    for (bool isKit : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (isKit ? " kit" : " runtime"));
            products_test::LogFile caseLog;
            RegistryKey key = versionKey(root, isKit ? zoltkeys::kitRoot : zoltkeys::runtimeRoot, kOwnVersion);
            setRaw(key, "BuildNumber", c.type, c.bytes);
            EXPECT_EQ(c.sameOrOlder, IsSameOrOlderBuildInstalled(isKit));
            EXPECT_TRUE(caseLog.contains(c.logged)) << caseLog.text();
        }
    }
}

TEST_F(InstalledBuildTest, UnreadableKeyOrValueCountsAsNotSameOrOlder) {
    EXPECT_FALSE(IsSameOrOlderBuildInstalled(true));
    EXPECT_TRUE(log.contains("Error Opening registry key SOFTWARE\\Zoltsys\\Zolt Development Kit\\" + kOwnVersion + ": 2"));
    const RegistryKey& root = products_test::installView() == KEY_WOW64_32KEY ? RegistryKey::localMachine32
                                                                               : RegistryKey::localMachine64;
    versionKey(root, zoltkeys::runtimeRoot, kOwnVersion).setString("ZoltHome", "C:\\pln");
    EXPECT_FALSE(IsSameOrOlderBuildInstalled(false));
    EXPECT_TRUE(log.contains("ZoltKey.QueryValue(BuildNumber, Value); failed: 2"));
}

class KitHomeTest : public ProductRegistryTest {};

TEST_F(KitHomeTest, ReadsTheHomeOfThisVersionOrSaysWhyNot) {
    char home[2048];
    EXPECT_FALSE(FindTBXHome(home, sizeof home));
    EXPECT_TRUE(log.contains("FindTBXHome: Failed to open TBX main key!!"));

    RegistryKey key = versionKey(RegistryKey::localMachine64, zoltkeys::kitRoot, kOwnVersion);
    EXPECT_FALSE(FindTBXHome(home, sizeof home));
    EXPECT_TRUE(log.contains("FindTBXHome: Failed to query ZoltHome value!!"));

    key.setString("ZoltHome", "C:\\Program Files\\Zolt\\tbx\\");
    ASSERT_TRUE(FindTBXHome(home, sizeof home));
    EXPECT_STREQ("C:\\Program Files\\Zolt\\tbx\\", home);

    char small[8];
    EXPECT_FALSE(FindTBXHome(small, sizeof small));

    products_test::LogFile emptyLog;
    key.setString("ZoltHome", "");
    EXPECT_FALSE(FindTBXHome(home, sizeof home));
    EXPECT_TRUE(emptyLog.contains("FindTBXHome: Failed to query ZoltHome value!!"));
}

}  // namespace

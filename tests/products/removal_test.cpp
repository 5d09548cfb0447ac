// Removal of a same-version kit or runtime before installing, with the real Windows Installer engine.
#include <gtest/gtest.h>

#include <string>

#include "buildinfo/build_constants.h"
#include "platform/registry_key.h"
#include "products/installed_products.h"
#include "products/product_codes.h"
#include "products/removal.h"
#include "products_fixture.h"

namespace {

using products_test::installView;

const std::string kOwnVersion = buildconstants::productVersion;

class RemovalTest : public products_test::ProductRegistryTest {
protected:
    const RegistryKey& root() const {
        return installView() == KEY_WOW64_32KEY ? RegistryKey::localMachine32 : RegistryKey::localMachine64;
    }
    RegistryKey productKey(const char* family, const char* build) {
        RegistryKey key(root(), std::string(family) + "\\" + kOwnVersion, RegistryKey::write);
        key.setString("ZoltHome", "C:\\Zolt\\home");
        key.setString("BuildNumber", build);
        return key;
    }
    std::string kitKey() const { return std::string(zoltkeys::kitRoot) + "\\" + kOwnVersion; }
    std::string runtimeKey() const { return std::string(zoltkeys::runtimeRoot) + "\\" + kOwnVersion; }
    std::string kitCode() const { return kitProductCode(kOwnVersion, installArch() == 32); }
    std::string runtimeCode() const { return zscrub::ZCleaner::getProductGUID(kOwnVersion, installArch()); }
};

TEST_F(RemovalTest, NothingInstalledLetsTheInstallationProceed) {
    EXPECT_TRUE(UninstallPLNOrTBXIfSameVersionExists(true));
    // The records name the operation the driver calls, not a helper behind it.
    for (const char* message : {"INFO: No same version TBX exists", "INFO: No same version PLN exists"})
        EXPECT_NE(std::string::npos, log.text().find("(UninstallPLNOrTBXIfSameVersionExists)]\r\n\t" +
                                                    std::string(message)))
            << log.text();
}

TEST_F(RemovalTest, NewerKitBuildStopsBeforeAnyRemoval) {
    productKey(zoltkeys::kitRoot, "13");
    registerUninstallEntry(kitCode(), installView());
    EXPECT_FALSE(UninstallPLNOrTBXIfSameVersionExists(true));
    EXPECT_TRUE(log.contains("is newer than current build"));
    EXPECT_FALSE(log.contains("uninstall "));
    EXPECT_FALSE(log.contains("No same version PLN exists")) << "the runtime is not looked at";
}

TEST_F(RemovalTest, KitWhoseCodeIsNotRegisteredCountsAsAFailedRemoval) {
    productKey(zoltkeys::kitRoot, "12");
    EXPECT_FALSE(UninstallPLNOrTBXIfSameVersionExists(true));
    EXPECT_TRUE(log.contains("TBX GUID not found " + kitCode() + ": "));
    EXPECT_TRUE(log.contains("UninstallExistingTBX (" + kitKey() + ") failed"));
}

TEST_F(RemovalTest, KitRemovalRefusedByTheEngineStopsTheInstallation) {
    // Registered, but unknown to the engine: it refuses with 1605.
    productKey(zoltkeys::kitRoot, "11");
    registerUninstallEntry(kitCode(), installView());
    EXPECT_FALSE(UninstallPLNOrTBXIfSameVersionExists(true));
    EXPECT_TRUE(log.contains("uninstall " + kOwnVersion + " of " + kitCode() + " failed.  ErrorCode: 1605"))
        << log.text();
    EXPECT_TRUE(log.contains("Uninstall existining TBX failed " + kitCode() + ": 1605"));
}

TEST_F(RemovalTest, StaticOrNewerRuntimeIsLeftAloneAndUnregisteredOneIsNoError) {
    struct Case {
        const char* name;
        const char* build;
        const char* mode;
        bool attempted;
    };
    const Case cases[] = {
        {"static", "12", "S", false},
        {"newer build", "13", "", false},
        {"same build, code not registered", "12", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        products_test::LogFile caseLog;
        RegistryKey key = productKey(zoltkeys::runtimeRoot, c.build);
        RegistryKey(key, "MSI", RegistryKey::write).setString("MODE", c.mode);
        EXPECT_TRUE(UninstallPLNOrTBXIfSameVersionExists(true));
        EXPECT_EQ(c.attempted, caseLog.contains("GUID not found" + runtimeCode() + ":")) << caseLog.text();
        EXPECT_FALSE(caseLog.contains("uninstall "));
    }
}

TEST_F(RemovalTest, RuntimeRemovalRefusedByTheEngineStopsTheInstallation) {
    productKey(zoltkeys::runtimeRoot, "12");
    registerUninstallEntry(runtimeCode(), installView());
    EXPECT_FALSE(UninstallPLNOrTBXIfSameVersionExists(true));
    EXPECT_TRUE(log.contains("Uninstall existing PLN failed" + runtimeCode() + ":1605")) << log.text();
    EXPECT_TRUE(log.contains("UninstallPLNIfSameOrOlderBuild( " + runtimeKey() + ") failed"));
}

TEST_F(RemovalTest, ProductCodesAreLookedUpInTheChosenView) {
    const std::string code = "{00000000-1111-2222-3333-444444444444}";
    registerUninstallEntry(code, KEY_WOW64_32KEY);
    EXPECT_TRUE(isProductCodeRegistered(code, false));
    EXPECT_FALSE(isProductCodeRegistered(code, true));
    EXPECT_EQ(0u, CheckGUIDAndUninstall(64, true, true));
}

}  // namespace

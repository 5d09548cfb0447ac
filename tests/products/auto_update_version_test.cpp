// The registered auto-update version against the one this installer carries.
#include <gtest/gtest.h>

#include <string>

#include "buildinfo/build_constants.h"
#include "platform/registry_key.h"
#include "products/auto_update_version.h"
#include "products/installed_products.h"
#include "products_fixture.h"

namespace {

class AutoUpdateVersionTest : public products_test::ProductRegistryTest {};

TEST_F(AutoUpdateVersionTest, DecidesUpgradeFromTheInstalledVersion) {
    ASSERT_STREQ("2.8.3.7", buildconstants::autoUpdateVersion) << "the cases below assume this build constant";
    struct Case {
        const char* installed;  // null: no value
        bool readable;
        bool ownNewer;
        bool upgradeNeeded;
    };
    const Case cases[] = {
        {nullptr, false, false, true},
        {"2.8.3.7", true, false, false},
        {"2.8.3.6", true, true, true},
        {"2.8.10.0", true, false, false},
        {"1.9.9.99", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed ? c.installed : "none");
        if (c.installed) {
            RegistryKey(RegistryKey::localMachine32, zoltkeys::autoUpdate, RegistryKey::write)
                .setString("AUVersion", c.installed);
        }
        char buffer[2048];
        EXPECT_EQ(c.readable, readAUVersion(buffer));
        if (c.installed) {
            EXPECT_STREQ(c.installed, buffer);
        }
        EXPECT_EQ(c.ownNewer, isOwnAUNewer());
        EXPECT_EQ(c.upgradeNeeded, isAUUpgradeNeeded());
    }
}

TEST_F(AutoUpdateVersionTest, LivesInThe32BitViewAndPassesParseErrorsOn) {
    RegistryKey(RegistryKey::localMachine64, zoltkeys::autoUpdate, RegistryKey::write).setString("AUVersion", "1.0.0.0");
    char buffer[2048];
    EXPECT_FALSE(readAUVersion(buffer) && std::string(buffer) == "1.0.0.0");
    products_test::deleteTree(KEY_WOW64_64KEY, zoltkeys::autoUpdate);

    RegistryKey(RegistryKey::localMachine32, zoltkeys::autoUpdate, RegistryKey::write).setString("AUVersion", "2.8.3");
    EXPECT_THROW(isOwnAUNewer(), std::runtime_error);
    EXPECT_THROW(isAUUpgradeNeeded(), std::runtime_error);
}

}  // namespace

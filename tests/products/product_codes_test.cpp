// The product-code patterns of runtimes and kits across the version ranges of the product family.
#include <gtest/gtest.h>

#include <string>

#include "products/product_codes.h"

namespace {

TEST(RuntimeProductCode, FollowsThePatternOfItsVersionRange) {
    struct Case {
        const char* version;
        int arch;
        const char* code;
    };
    const Case cases[] = {
        {"1.4.2", 64, "{5C29E3B1-7A40-12E8-B96D-00C1E2142000}"},
        {"1.4.2_05-b3", 32, "{5C29E3B1-7A40-12E8-B96D-00C1E2142050}"},
        {"1.5.0", 32, "{3229E3B1-7A40-12E8-B96D-00C1E2150000}"},
        {"1.5.0_12", 64, "{6429E3B1-7A40-12E8-B96D-00C1E2150120}"},
        {"1.6.0_5", 64, "{6429E3B1-7A40-12E8-B96D-00C1E2160050}"},
        {"1.6.0_10", 64, "{3B85D1C7-2E6A-4F19-9C3D-4A86416010F0}"},
        {"1.6.0_10", 32, "{3B85D1C7-2E6A-4F19-9C3D-4A83216010F0}"},
        {"1.7.0_59", 64, "{3B85D1C7-2E6A-4F19-9C3D-4A86417059F0}"},
        {"1.7.0_60", 64, "{3B85D1C7-2E6A-4F19-9C3D-4A06417060F0}"},
        {"1.7.0_65", 32, "{3B85D1C7-2E6A-4F19-9C3D-4A03217065F0}"},
        {"1.7.0_71", 64, "{3B85D1C7-2E6A-4F19-9C3D-4A06417071F0}"},
        {"1.7.0_72", 64, "{3B85D1C7-2E6A-4F19-9C3D-4A86417072F0}"},
        {"1.8.0_65", 64, "{3B85D1C7-2E6A-4F19-9C3D-4A86418065F0}"},
        {"1.7.0_100", 64, "{3B85D1C7-2E6A-4F19-9C3D-4A64170100F0}"},
        {"1.9.3_17-b12", 64, "{3B85D1C7-2E6A-4F19-9C3D-4A86419317F0}"},
        {"1.9.3", 32, "{3B85D1C7-2E6A-4F19-9C3D-4A83219300F0}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " " + std::to_string(c.arch));
        EXPECT_EQ(c.code, zscrub::ZCleaner::getProductGUID(c.version, c.arch));
    }
}

TEST(RuntimeProductCode, RefusesOldOrUnreadableVersions) {
    for (const char* version : {"1.4.1_99", "1.3.9"}) {
        SCOPED_TRACE(version);
        try {
            zscrub::ZCleaner::getProductGUID(version, 64);
            ADD_FAILURE() << "nothing thrown";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find("Zolt version less than 1.4.2 is not supported"));
        }
    }
    EXPECT_THROW(zscrub::ZCleaner::getProductGUID("1.9.x", 64), std::runtime_error);
}

TEST(KitProductCode, TakesTheMinorAndTheUpdateFromTheVersionText) {
    EXPECT_EQ("{64D7B2E9-C461-14F3-B95C-00A6C0790170}", kitProductCode("1.9.3_17", false));
    EXPECT_EQ("{32D7B2E9-C461-14F3-B95C-00A6C0790170}", kitProductCode("1.9.3_17", true));
    EXPECT_EQ("{64D7B2E9-C461-14F3-B95C-00A6C0780000}", kitProductCode("1.8.0", false));
    EXPECT_EQ("{64D7B2E9-C461-14F3-B95C-00A6C0760050}", kitProductCode("1.6.0_05", false));
}

}  // namespace

// The launcher's version resource as Windows and deployment tools read it from the built executable.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tbx_build_constants.h"
#include "test_support.h"

namespace {

class LauncherVersionInfo : public ::testing::Test {
protected:
    void SetUp() override {
        std::string launcher = testing_support::exeDir() + "\\tbx-setup.exe";
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(launcher.c_str(), &ignored);
        ASSERT_NE(0u, size) << "no version resource, error " << GetLastError();
        data.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(launcher.c_str(), 0, size, data.data()));
    }

    std::string text(const char* name) {
        char* value = nullptr;
        UINT length = 0;
        std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
            return "(missing)";
        return std::string(value);
    }

    std::vector<char> data;
};

TEST_F(LauncherVersionInfo, NumbersAreThePartsOfTheProductVersion) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(VS_FFI_SIGNATURE, fixed->dwSignature);
    unsigned major = 0, minor = 0, micro = 0, update = 0;
    ASSERT_EQ(4, std::sscanf(TBX_PRODUCT_VERSION, "%u.%u.%u_%u", &major, &minor, &micro, &update));
    for (auto [ms, ls] : {std::pair{fixed->dwFileVersionMS, fixed->dwFileVersionLS},
                          std::pair{fixed->dwProductVersionMS, fixed->dwProductVersionLS}}) {
        EXPECT_EQ(major, HIWORD(ms));
        EXPECT_EQ(minor, LOWORD(ms));
        EXPECT_EQ(micro, HIWORD(ls));
        EXPECT_EQ(update, LOWORD(ls));
    }
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
}

TEST_F(LauncherVersionInfo, TextsNameTheProductAndTheFullVersion) {
    EXPECT_EQ(TBX_FULL_VERSION, text("FileVersion"));
    EXPECT_EQ(TBX_PRODUCT_VERSION, text("ProductVersion"));
    EXPECT_EQ("Zolt Development Kit", text("ProductName"));
    EXPECT_EQ("Zoltsys", text("CompanyName"));
    EXPECT_EQ("tbx-setup.exe", text("OriginalFilename"));
}

}  // namespace

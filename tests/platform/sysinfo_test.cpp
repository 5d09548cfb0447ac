// The Windows version class and the folder getters, against the Wine prefix's real answers.
#include <gtest/gtest.h>

#include "platform/sysinfo.h"
#include "platform/tstrings.h"

namespace {

TEST(SysInfoVersion, ClassOfMajorMinor) {
    struct Case {
        DWORD major, minor;
        int expected;
    } cases[] = {
        {4, 10, WIN_OLD}, {5, 0, WIN_OLD},   {5, 1, WIN_XP},    {5, 2, WIN_XP},    {6, 0, WIN_VISTA},
        {6, 1, WIN_7},    {6, 2, WIN_8},     {6, 3, WIN_8_1},   {6, 4, WIN_NEWER}, {10, 0, WIN_NEWER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
        EXPECT_EQ(c.expected, SysInfo::versionClassOf(c.major, c.minor));
    }
}

TEST(SysInfoVersion, RecordFilledBeforeMain) {
    const OSVERSIONINFOEXW& v = SysInfo::osVersion();
    EXPECT_EQ(284u, v.dwOSVersionInfoSize);
    EXPECT_GE(v.dwMajorVersion, 5u);
    EXPECT_EQ(SysInfo::versionClassOf(v.dwMajorVersion, v.dwMinorVersion), SysInfo::osVersionClass());
}

TEST(SysInfoMachine, SixtyFourBitProcessOnSixtyFourBitSystem) {
    EXPECT_TRUE(SysInfo::isNative64Bit());
    EXPECT_FALSE(SysInfo::isWow64());
}

TEST(SysInfoFolders, NoTrailingSeparators) {
    EXPECT_TRUE(tstrings::equalsIgnoreCase("C:\\windows\\system32", SysInfo::getSystem32Dir()));
    EXPECT_TRUE(tstrings::equalsIgnoreCase("C:\\windows\\syswow64", SysInfo::getSystemWow64Dir()));
    EXPECT_TRUE(tstrings::equalsIgnoreCase("C:\\Program Files (x86)\\Common Files", SysInfo::getProgramFilesCommonX86Dir()));

    std::string temp = SysInfo::getTempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_NE('\\', temp.back());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(temp.c_str()));

    std::string module = SysInfo::getProcessModulePath();
    EXPECT_EQ("platform_tests.exe", tstrings::fileNamePart(module));
    EXPECT_EQ(':', module[1]);
}

}  // namespace

// Formatting, conversions and the text and path helpers.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/tstrings.h"

namespace {

TEST(TstringsFormat, ReturnsResultsLongerThanTheFirstBufferWhole) {
    for (size_t length : {0u, 255u, 256u, 257u, 1000u, 5000u}) {
        SCOPED_TRACE(length);
        std::string expected(length, 'x');
        EXPECT_EQ(expected, tstrings::format("%s", expected.c_str()));
    }
    EXPECT_EQ("id 1041 and text", tstrings::format("id %d and %s", 1041, "text"));
}

TEST(TstringsFormat, NullFormatThrowsLocatedInvalidArgument) {
    const char* none = nullptr;
    try {
        tstrings::format(none);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("at tstrings::format(): Destination buffer can't be NULL"));
    }
}

TEST(TstringsConversion, RoundTripsUtf8AndUtf16) {
    const std::string utf8 = "Zolt \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";  // Japanese and a surrogate pair
    std::wstring wide = tstrings::toUtf16(utf8);
    EXPECT_EQ(std::wstring(L"Zolt \x65E5\x672C \xD83D\xDE00"), wide);
    EXPECT_EQ(utf8, tstrings::toUtf8(wide));
    EXPECT_EQ("", tstrings::toUtf8(L""));
}

TEST(TstringsConversion, InvalidUtf8GivesEmptyWideString) {
    for (const char* bad : {"\xC3", "abc\xFF", "\xED\xA0\x80", "\xC0\xAF"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(std::wstring(), tstrings::toUtf16(bad));
    }
}

TEST(TstringsConversion, AnsiUsesTheCodePage) {
    // The test prefix runs with code page 1252.
    EXPECT_EQ("caf\xE9", tstrings::utf8ToAnsi("caf\xC3\xA9"));
    EXPECT_EQ("?", tstrings::toAnsi(L"\x65E5"));
}

TEST(TstringsText, TrimSplitLowerAndCompare) {
    EXPECT_EQ("a b", tstrings::trim(" \ta b\t ", " \t"));
    EXPECT_EQ("", tstrings::trim(" \t ", " \t"));

    struct SplitCase {
        const char* text;
        const char* delimiter;
        std::vector<std::string> pieces;
    } cases[] = {
        {"a,,b,", ",", {"a", "", "b", ""}},
        {"a", ",", {"a"}},
        {"", ",", {}},
        {"a,b", "", {}},
        {"k=>v=>", "=>", {"k", "v", ""}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> out{"kept"};
        tstrings::split(c.text, c.delimiter, out);
        std::vector<std::string> expected{"kept"};
        expected.insert(expected.end(), c.pieces.begin(), c.pieces.end());
        EXPECT_EQ(expected, out);
    }

    EXPECT_EQ("install\xC9x", tstrings::toLower("INSTALL\xC9X"));  // only A to Z change
    EXPECT_TRUE(tstrings::equalsIgnoreCase("AddLocal", "ADDLOCAL"));
    EXPECT_FALSE(tstrings::equalsIgnoreCase("AddLocal", "ADDLOCAL "));
    EXPECT_EQ("-80", tstrings::toString(int32_t(-80)));
    EXPECT_EQ("4294967216", tstrings::toString(uint32_t(0xFFFFFFB0u)));
}

TEST(TstringsPaths, FileNameStripAndJoin) {
    struct Case {
        const char* dir;
        const char* name;
        const char* joined;
    } joins[] = {
        {"C:\\dir\\\\", "/file", "C:\\dir\\file"},
        {"", "file", "file"},
        {"C:\\dir", "", "C:\\dir"},
        {"C:/dir/", "sub\\file", "C:/dir\\sub\\file"},
        {"C:\\dir", "\\\\file", "C:\\dir\\\\file"},  // only one leading separator of the name goes
    };
    for (const Case& c : joins) {
        SCOPED_TRACE(std::string(c.dir) + " + " + c.name);
        EXPECT_EQ(c.joined, tstrings::joinPath(c.dir, c.name));
    }
    EXPECT_EQ("x.cpp", tstrings::fileNamePart("C:/src\\platform/x.cpp"));
    EXPECT_EQ("x.cpp", tstrings::fileNamePart("x.cpp"));
    EXPECT_EQ("", tstrings::fileNamePart("C:\\dir\\"));
    EXPECT_EQ("C:\\dir", tstrings::stripTrailingSeparators("C:\\dir\\/\\"));
    EXPECT_EQ("", tstrings::stripTrailingSeparators("\\/"));
}

}  // namespace

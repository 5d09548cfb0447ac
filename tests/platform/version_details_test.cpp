// Parsing and ordering of dotted versions and product versions.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/version_details.h"

namespace {

template <class F>
std::string thrownText(F f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(DottedParser, StopsWhereTheTextStopsBeingNumbers) {
    struct Case {
        const char* text;
        size_t capacity;
        size_t unrecognised;
        std::vector<int> components;
    };
    const Case cases[] = {
        {"3.5.0.7", 4, 0, {3, 5, 0, 7}},
        {"3.5.0.7.1", 4, 2, {3, 5, 0, 7}},
        {"3.5.x.0", 4, 3, {3, 5}},
        {"4.2.", 4, 0, {4, 2}},
        {"", 4, 0, {}},
        {"007.1", 4, 0, {7, 1}},
        {"+1.2", 4, 4, {}},
        {" 1.2", 4, 4, {}},
        {"2147483647.1", 4, 0, {2147483647, 1}},
        {"2147483648.1", 4, 12, {}},
        {"1..2", 4, 2, {1}},
        {"4.2.0", 1, 4, {4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int destination[4] = {-9, -9, -9, -9};
        size_t count = c.capacity;
        EXPECT_EQ(c.unrecognised, VersionDetails::Parser()(c.text, destination, count));
        EXPECT_EQ(c.components, std::vector<int>(destination, destination + count));
    }
    size_t none = 0;
    int destination[1];
    EXPECT_TRUE(endsWith(thrownText([&] { VersionDetails::Parser()("1.2", destination, none); }),
                         "Destination buffer can't be empty"));
}

TEST(ZoltVersion, ParsesProductVersionsWithTheirSuffixes) {
    struct Case {
        const char* text;
        std::array<int, 5> components;
    };
    const Case cases[] = {
        {"4.2.0_31-b7", {4, 2, 0, 31, 7}},
        {"4.2.0_31", {4, 2, 0, 31, 0}},
        {"4.2.0", {4, 2, 0, 0, 0}},
        {"4.2.0_31-rc-b7", {4, 2, 0, 31, 7}},
        {"4.2.0-ea-beta-b15", {4, 2, 0, 0, 15}},
        {"4.2.0-b0", {4, 2, 0, 0, 0}},
        {"4.2.0_31-rc", {4, 2, 0, 31, 0}},
        {"1.9.3_17-b12", {1, 9, 3, 17, 12}},
        {"1.7.0_100", {1, 7, 0, 100, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ZoltVersionDetails v(c.text);
        EXPECT_EQ(c.components, (std::array<int, 5>{v.components[0], v.components[1], v.components[2],
                                                   v.components[3], v.components[4]}));
        EXPECT_EQ(c.text, v.source);
    }
}

TEST(ZoltVersion, RefusesTextItCannotReadWithTheCountOfUnreadCharacters) {
    struct Case {
        const char* text;
        std::string ending;
    };
    const std::string partly = "] version string completely. Number of unrecognised characters is ";
    const Case cases[] = {
        {"4.2.0_31-b7-x", "[4.2.0_31-b7-x" + partly + "2"},
        {"0.2.0", "[0.2.0" + partly + "5"},
        {"4.0.0", "[4.0.0" + partly + "4"},
        {" 4.2.0", "[ 4.2.0" + partly + "6"},
        {"4.2.0.1", "[4.2.0.1" + partly + "2"},
        {"4.2._1", "[4.2._1" + partly + "2"},
        {"4.2", "Failed to parse [4.2] version string. The string is too short"},
        {"", "Failed to parse [] version string. The string is too short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = thrownText([&] { ZoltVersionDetails v(c.text); });
        EXPECT_TRUE(endsWith(text, c.ending)) << text;
        EXPECT_NE(std::string::npos, text.find("Failed to parse [")) << text;
    }
    int small[4];
    size_t count = 4;
    EXPECT_TRUE(endsWith(thrownText([&] { ZoltVersionDetails::parse("1.2.3", small, count); }),
                         "Insufficient size of destination buffer"));
}

TEST(DottedVersion, NeedsAllFourNumbers) {
    EXPECT_EQ(7, VersionDetails::Dotted("3.5.0.7").components[3]);
    for (const char* text : {"3.5.0", ""}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(endsWith(thrownText([&] { VersionDetails::Dotted v(text); }), "The string is too short"));
    }
}

TEST(VersionOrdering, FirstDifferingComponentDecides) {
    using D = VersionDetails::Dotted;
    EXPECT_LT(D("2.8.3.7"), D("2.8.3.10"));
    EXPECT_GT(D("3.0.0.0"), D("2.9.9.9"));
    EXPECT_EQ(D("2.8.3.7"), D("02.8.3.07"));
    EXPECT_LT(ZoltVersionDetails("1.6.0_5"), ZoltVersionDetails("1.6.0_10"));
    EXPECT_LT(ZoltVersionDetails("1.6.0"), ZoltVersionDetails("1.6.0_10"));
    EXPECT_LT(ZoltVersionDetails("1.9.3_17-b12"), ZoltVersionDetails("1.9.3_17-b13"));
    EXPECT_GT(ZoltVersionDetails("1.9.3_17"), ZoltVersionDetails("1.9.2_99-b99"));
}

TEST(VersionOrdering, BuildLessEqualityIgnoresOnlyTheBuild) {
    ZoltVersionDetails own("1.9.3_17-b12");
    EXPECT_TRUE(own.equalsIgnoringBuild(ZoltVersionDetails("1.9.3_17")));
    EXPECT_TRUE(own.equalsIgnoringBuild(ZoltVersionDetails("1.9.3_17-b99")));
    EXPECT_FALSE(own.equalsIgnoringBuild(ZoltVersionDetails("1.9.3_18-b12")));
    EXPECT_FALSE(own.equalsIgnoringBuild(ZoltVersionDetails("1.9.3-b12")));
    EXPECT_NE(own, ZoltVersionDetails("1.9.3_17"));
}

}  // namespace

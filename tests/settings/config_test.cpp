// The configuration model: UTF-8 check, number and boolean conversions, getters and whole-configuration operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <cmath>
#include <locale>
#include <sstream>

#include "settings/config.h"

namespace settings_impl {
namespace {

ConfigPtr configOf(std::initializer_list<std::pair<const char*, ConfigValue*>> values) {
    ConfigEntries entries;
    for (const auto& value : values) entries[value.first] = ConfigValuePtr(value.second);
    return createConfig(std::move(entries));
}

template <class Call>
int32_t codeOf(Call&& call) {
    try {
        call();
    } catch (const settings::Exception& e) {
        return e.code;
    }
    return 0;
}

TEST(FindInvalidUtf8, PointsAtTheLeadByteOfTheFirstBadSequence) {
    struct Case {
        const char* name;
        std::string text;
        size_t position;  // npos: valid
    };
    const size_t ok = std::string::npos;
    const Case cases[] = {
        {"ascii", "plain text", ok},
        {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", ok},
        {"five and six byte forms", "\xF8\x88\x80\x80\x80\xFC\x84\x80\x80\x80\x80", ok},
        {"overlong forms are not checked", "\xC0\x80", ok},
        {"surrogates are not checked", "\xED\xA0\x80", ok},
        {"continuation in lead position", "ab\x80", 2},
        {"FE", "a\xFE", 1},
        {"FF", "\xFF", 0},
        {"cut off at the end", "ab\xE2\x82", 2},
        {"missing continuation", "x\xC3(y", 1},
        {"NUL is a character", std::string("a\0b", 3), ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const char* first = c.text.data();
        const char* last = first + c.text.size();
        const char* found = findInvalidUtf8(first, last);
        EXPECT_EQ(found == last ? ok : static_cast<size_t>(found - first), c.position);
    }
}

// What the conversion must match: extraction from a C-locale stream after the prefix rules.
bool streamReference(const std::string& prepared, int base, int32_t& value) {
    std::istringstream in(prepared);
    in.imbue(std::locale::classic());
    in >> (base == 16 ? std::hex : base == 8 ? std::oct : std::dec);
    int parsed = 0;
    in >> parsed;
    value = parsed;
    return !in.fail();
}

TEST(ParseInt, FollowsPrefixRulesAndStreamExtraction) {
    struct Case {
        const char* text;
        int32_t value;  // expected when ok
        bool ok;
    };
    const Case cases[] = {
        {"0x1F", 31, true},      {"0X1f", 31, true},       {"-017", -15, true},     {"08", 0, true},
        {"12abc", 12, true},     {"abc", 0, false},        {"", 0, false},          {"  \t\n\v42", 42, true},
        {"+7", 7, true},         {"- 5", 0, false},        {"-", 0, false},         {"0x", 0, false},
        {"-0x10", -16, true},    {"0x1g", 1, true},        {"2147483647", INT32_MAX, true},
        {"2147483648", 0, false}, {"-2147483648", INT32_MIN, true}, {"-2147483649", 0, false},
        {"0x7fffffff", INT32_MAX, true}, {"0xffffffff", 0, false}, {"-0x80000000", INT32_MIN, true},
        {"017777777777", INT32_MAX, true}, {"99999999999999999999", 0, false}, {"\r5", 5, true},
        {"\r0x10", 0, true},     {"0", 0, true},           {"00x5", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("[") + c.text + "]");
        int32_t value = 0;
        const int32_t code = codeOf([&] { value = parseInt(c.text); });
        EXPECT_EQ(code, c.ok ? 0 : 302);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
    }
}

TEST(ParseInt, AgreesWithTheStreamOnGeneratedTexts) {
    const char* const pieces[] = {"", "-", "+", "0", "0x", "7", "9", "f", "g", " ", "8", "1", "00", "ff"};
    const size_t n = sizeof(pieces) / sizeof(pieces[0]);
    for (size_t a = 0; a < n; ++a) {
        for (size_t b = 0; b < n; ++b) {
            for (size_t c = 0; c < n; ++c) {
                const std::string text = std::string(pieces[a]) + pieces[b] + pieces[c];
                const std::string prepared = text.substr(std::min(text.find_first_not_of(" "), text.size()));
                const int base = prepared.rfind("0x", 0) == 0 || prepared.rfind("-0x", 0) == 0 ? 16
                                 : prepared.rfind("0", 0) == 0 || prepared.rfind("-0", 0) == 0 ? 8
                                                                                                : 10;
                int32_t expected = 0;
                const bool ok = streamReference(prepared, base, expected);
                int32_t value = 0;
                const int32_t code = codeOf([&] { value = parseInt(text); });
                ASSERT_EQ(code, ok ? 0 : 302) << "[" << text << "]";
                if (ok) {
                    ASSERT_EQ(value, expected) << "[" << text << "]";
                }
            }
        }
    }
}

TEST(ParseBoolAndDouble, WordsNumbersAndFailures) {
    struct BoolCase {
        const char* text;
        bool value;
        int32_t code;
    };
    const BoolCase bools[] = {{"YES", true, 0}, {"True", true, 0}, {"no", false, 0}, {"FALSE", false, 0},
                              {"2", true, 0},   {"0", false, 0},   {"0x0", false, 0}, {"maybe", false, 302},
                              {" yes", false, 302}};
    for (const BoolCase& c : bools) {
        bool value = !c.value;
        EXPECT_EQ(codeOf([&] { value = parseBool(c.text); }), c.code) << c.text;
        if (!c.code) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    struct DoubleCase {
        const char* text;
        double value;
        int32_t code;
    };
    const DoubleCase doubles[] = {{"2.5", 2.5, 0},  {" -1E3x", -1000.0, 0}, {".5", 0.5, 0},
                                  {"abc", 0, 302}, {"1e999", 0, 302},      {"", 0, 302}};
    for (const DoubleCase& c : doubles) {
        double value = 0;
        EXPECT_EQ(codeOf([&] { value = parseDouble(c.text); }), c.code) << c.text;
        if (!c.code) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

// The conversion reads doubles by hand; it must agree with a C-locale stream, its model, on every
// combination of the pieces that decide where a number ends and whether it converts.
TEST(ParseDouble, AgreesWithTheStreamOnGeneratedTexts) {
    const char* const pieces[] = {"", "-", "+", "0", "7", ".", "e", "E", "e-", "e+", "5", " ", "x", "0x1",
                                  "inf", "nan", "1e400", "1e-400", "00", ".25", "9999999999999999999"};
    const size_t n = sizeof(pieces) / sizeof(pieces[0]);
    for (size_t a = 0; a < n; ++a) {
        for (size_t b = 0; b < n; ++b) {
            for (size_t c = 0; c < n; ++c) {
                const std::string text = std::string(pieces[a]) + pieces[b] + pieces[c];
                std::string prepared = text.substr(std::min(text.find_first_not_of(" "), text.size()));
                for (char& ch : prepared) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                std::istringstream in(prepared);
                in.imbue(std::locale::classic());
                double expected = 0;
                in >> expected;
                double value = 0;
                const int32_t code = codeOf([&] { value = parseDouble(text); });
                ASSERT_EQ(code, in.fail() ? 302 : 0) << "[" << text << "]";
                if (!in.fail()) {
                    ASSERT_EQ(value, expected) << "[" << text << "]";
                }
            }
        }
    }
}

TEST(ConfigValue, DoubleWithoutTextIsWrittenAsAStreamWritesIt) {
    for (const double number : {0.0, -0.0, 1.5, 1e-7, 123456789.0, 1e300, -2.5e-300, 0.1}) {
        std::ostringstream out;
        out.imbue(std::locale::classic());
        out << number;
        EXPECT_EQ(ConfigValue(Double, number, nullptr).text, out.str());
    }
}

TEST(ConfigValue, TextIsCheckedAndKeptBesideTheNumber) {
    EXPECT_EQ(codeOf([] { ConfigValue(String, std::string("\xFF")); }), 302);
    EXPECT_EQ(codeOf([] { ConfigValue(Int, std::string("x")); }), 302);
    EXPECT_THROW(ConfigValue(static_cast<ValueType>(99), std::string("x")), std::runtime_error);

    const ConfigValue hex(Int, std::string("0x10"));
    EXPECT_EQ(hex.intValue, 16);
    EXPECT_EQ(hex.text, "0x10");
    EXPECT_EQ(ConfigValue(Int, int32_t{-5}, nullptr).text, "-5");
    EXPECT_EQ(ConfigValue(Bool, false, nullptr).text, "false");
    EXPECT_EQ(ConfigValue(Double, 0.1 + 0.2, nullptr).text, "0.3");
    const ConfigValue own(Int, int32_t{1}, "Enable");
    EXPECT_EQ(own.intValue, 1);
    EXPECT_EQ(own.text, "Enable");
    EXPECT_EQ(codeOf([] { ConfigValue(Int, int32_t{1}, "\xC3"); }), 302);
}

TEST(Config, GettersByTypeAndTheirCodes) {
    ConfigPtr config = configOf({{"S", new ConfigValue(String, std::string("0x1F"))},
                                 {"I", new ConfigValue(Int, int32_t{1}, "Enable")},
                                 {"B", new ConfigValue(Bool, std::string("yes"))},
                                 {"D", new ConfigValue(Double, std::string("2.5"))},
                                 {"P", new ConfigValue(Dirname, std::string("C:\\x"))},
                                 {"N", nullptr}});
    EXPECT_EQ(config->getInt("S"), 31);
    EXPECT_EQ(config->getInt("I"), 1);
    EXPECT_STREQ(config->getString("I"), "Enable");
    EXPECT_TRUE(config->getBool("B"));
    EXPECT_EQ(config->getDouble("D"), 2.5);
    EXPECT_EQ(config->getType("P"), Dirname);
    EXPECT_FALSE(config->hasValue("N"));
    struct Case {
        const char* name;
        std::function<void()> call;
        int32_t code;
    };
    const Case cases[] = {
        {"getInt of Bool", [&] { config->getInt("B"); }, 301},
        {"getInt of Dirname", [&] { config->getInt("P"); }, 301},
        {"getBool of Int", [&] { config->getBool("I"); }, 301},
        {"getDouble of Int", [&] { config->getDouble("I"); }, 301},
        {"getType without value", [&] { config->getType("N"); }, 301},
        {"getString without value", [&] { config->getString("N"); }, 301},
        {"copyString without value", [&] { config->copyString("N"); }, 301},
        {"hasValue of absent", [&] { config->hasValue("X"); }, 303},
        {"getInt of absent", [&] { config->getInt("X"); }, 303},
        {"getBool of text", [&] { config->getBool("P"); }, 301},
    };
    for (const Case& c : cases) EXPECT_EQ(codeOf(c.call), c.code) << c.name;
}

TEST(Config, MergeRemoveAndCompare) {
    ConfigPtr a = configOf({{"K", new ConfigValue(String, std::string("1"))},
                            {"A", new ConfigValue(Int, std::string("0x10"))}});
    ConfigPtr b = configOf({{"K", nullptr}, {"B", new ConfigValue(Double, std::string("1.5"))}});
    ConfigPtr merged = mergeConfigs(*a, *b);
    EXPECT_FALSE(merged->hasValue("K"));
    EXPECT_EQ(merged->getInt("A"), 16);
    EXPECT_STREQ(merged->getString("A"), "0x10") << "the text travels with the copy";
    EXPECT_EQ(merged->getKeys().size(), 3u);
    EXPECT_TRUE(a->hasValue("K")) << "inputs stay as they were";

    EXPECT_EQ(codeOf([&] { removeKeys(*merged, {"A", "Z"}); }), 303);
    EXPECT_TRUE(merged->hasValue("A"));
    ConfigPtr removed = removeKeys(*merged, {"A", "A", "K"});
    ASSERT_EQ(removed->getKeys().size(), 1u);
    EXPECT_STREQ(removed->getKeys()[0], "B");

    EXPECT_TRUE(configsEqual(*merged, *merged));
    EXPECT_TRUE(configsEqual(*merged, *mergeConfigs(*createEmptyConfig(), *merged)));
    struct Case {
        const char* name;
        ConfigPtr left;
        ConfigPtr right;
        bool equal;
    };
    Case cases[] = {
        {"valueless keys match and the rest is compared", configOf({{"N", nullptr}, {"X", new ConfigValue(String, std::string("1"))}}),
         configOf({{"N", nullptr}, {"X", new ConfigValue(String, std::string("2"))}}), false},
        {"value on one side only", configOf({{"N", nullptr}}), configOf({{"N", new ConfigValue(String, std::string(""))}}), false},
        {"types differ", configOf({{"X", new ConfigValue(String, std::string("1"))}}),
         configOf({{"X", new ConfigValue(Dirname, std::string("1"))}}), false},
        {"numbers compare, not texts", configOf({{"X", new ConfigValue(Int, std::string("0x10"))}}),
         configOf({{"X", new ConfigValue(Int, std::string("16"))}}), true},
        {"NaN never matches", configOf({{"X", new ConfigValue(Double, std::nan(""), "nan")}}),
         configOf({{"X", new ConfigValue(Double, std::nan(""), "nan")}}), false},
        {"different keys", configOf({{"X", nullptr}}), configOf({{"Y", nullptr}}), false},
        {"different sizes", configOf({{"X", nullptr}}), configOf({{"X", nullptr}, {"Y", nullptr}}), false},
    };
    for (Case& c : cases) EXPECT_EQ(configsEqual(*c.left, *c.right), c.equal) << c.name;
}

}  // namespace
}  // namespace settings_impl

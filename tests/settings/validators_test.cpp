// Value validators and their builder: which rule applies, what it accepts and what it stores.
#include <gtest/gtest.h>

#include "settings/validators.h"

namespace settings_impl {
namespace {

enum Outcome { Accepted, BadKey, BadValue, BadText };

Outcome outcomeOf(const ConfigValidator& validator, const char* key, const char* value, ConfigValuePtr* out = nullptr) {
    try {
        ConfigValuePtr made = validator.validate(key, value);
        if (out) *out = std::move(made);
        return Accepted;
    } catch (const ConfigValidator::InavlidKeyError&) {
        return BadKey;
    } catch (const ConfigValidator::InavlidValueError&) {
        return BadValue;
    } catch (const settings::Exception&) {
        return BadText;  // the builder reports these as invalid values too
    }
}

TEST(Validators, TypedRulesAndUnknownKeys) {
    ConfigValidatorBuilder builder;
    builder.setType("X", Int);
    builder.setType("On", Bool);
    builder.setType("S", String);
    auto strict = builder.buildValidator();
    struct Case {
        const char* key;
        const char* value;
        Outcome outcome;
    };
    const Case cases[] = {
        {"X", "abc", BadText}, {"X", "0x10", Accepted}, {"X", nullptr, BadValue},
        {"On", "yes", Accepted}, {"On", "False", Accepted}, {"On", "7", Accepted}, {"On", "maybe", BadText},
        {"FOO", "1", BadKey}, {"S", "\xFF", BadText},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(outcomeOf(*strict, c.key, c.value), c.outcome) << c.key << "=" << (c.value ? c.value : "(none)");
    }
    ConfigValuePtr value;
    ASSERT_EQ(outcomeOf(*strict, "X", "0x10", &value), Accepted);
    EXPECT_EQ(value->intValue, 16);
    ASSERT_EQ(outcomeOf(*strict, "On", "7", &value), Accepted);
    EXPECT_TRUE(value->boolValue);
    EXPECT_EQ(strict->validate("On", nullptr), nullptr) << "a boolean may come without value";

    builder.setAllowUnknownKeys(true);
    auto lenient = builder.buildValidator();
    ASSERT_EQ(outcomeOf(*lenient, "FOO", "1", &value), Accepted);
    EXPECT_EQ(value->type, String);
    EXPECT_EQ(lenient->validators.count("S"), 0u) << "a String rule adds nothing when unknown keys are admitted";
}

TEST(Validators, OneRuleKindPerKeyTheLastRegistered) {
    ConfigValidatorBuilder builder;
    builder.setDirname("K", false);
    builder.setType("K", Int);
    EXPECT_EQ(outcomeOf(*builder.buildValidator(), "K", "12"), Accepted);
    builder.setDirname("K", false);
    EXPECT_EQ(outcomeOf(*builder.buildValidator(), "K", "12"), BadValue);
    builder.setFixedValues("K", {{"one", 1, FixedValue::MatchCase}});
    EXPECT_EQ(outcomeOf(*builder.buildValidator(), "K", "one"), Accepted);
    EXPECT_EQ(outcomeOf(*builder.buildValidator(), "K", "C:\\x"), BadValue);
    builder.setType("K", Int);
    EXPECT_EQ(outcomeOf(*builder.buildValidator(), "K", "one"), BadText);
}

TEST(Validators, FixedValuesMatchCaseAndOwnText) {
    ConfigValidatorBuilder builder;
    builder.setFixedValues("F", {{"Enable", 1, FixedValue::MatchCase}, {"Disable", 0, FixedValue::MatchCase}});
    builder.setFixedValues("G", {{"Enable", 1, 0}});
    builder.setFixedValues("H", {{"Enable", 1, FixedValue::UseOwnText}});
    builder.setFixedValues("T", {{"1", 5, 0}, {"2", 2, 0}});
    builder.setFixedValues("T", {{"1", 9, FixedValue::UseOwnText}});
    auto validator = builder.buildValidator();
    struct Case {
        const char* key;
        const char* value;
        Outcome outcome;
        int32_t number;
        const char* text;
    };
    const Case cases[] = {
        {"F", "Enable", Accepted, 1, "Enable"}, {"F", "enable", BadValue, 0, nullptr},
        {"F", "Disable", Accepted, 0, "Disable"}, {"G", "ENABLE", Accepted, 1, "ENABLE"},
        {"H", "ENABLE", Accepted, 1, "Enable"}, {"T", "1", Accepted, 9, "1"}, {"T", "2", Accepted, 2, "2"},
        {"F", nullptr, BadValue, 0, nullptr}, {"F", "", BadValue, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + (c.value ? c.value : "(none)"));
        ConfigValuePtr value;
        ASSERT_EQ(outcomeOf(*validator, c.key, c.value, &value), c.outcome);
        if (c.outcome != Accepted) continue;
        EXPECT_EQ(value->type, Int);
        EXPECT_EQ(value->intValue, c.number);
        EXPECT_EQ(value->text, c.text);
    }
    auto* fixed = validator->validators.at("T").get();
    ASSERT_NE(fixed, nullptr);
}

TEST(Validators, DirectoryNamesMustBeValidAndAbsolute) {
    auto checked = createDirnameValidator(false);
    auto unchecked = createDirnameValidator(true);
    struct Case {
        std::string value;
        bool accepted;
    };
    const Case cases[] = {
        {"C:\\Program Files\\x", true}, {"d:/a/b", true}, {"C:\\con\\x", true}, {"C:", true},
        {"relative\\dir", false}, {"\\\\server\\share", false}, {"C:\\a<b", false}, {"C:\\CON\\x", false},
        {"C:\\" + std::string(257, 'a'), false}, {"C:\\" + std::string(256, 'a'), true}, {"", false},
        {"C:\\\xFF", false}, {"1:\\x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        bool accepted = true;
        try {
            ConfigValuePtr value = checked->validate(c.value.c_str());
            EXPECT_EQ(value->type, Dirname);
            EXPECT_EQ(value->text, c.value) << "kept as given, not canonicalised";
        } catch (const ConfigValidator::InavlidValueError&) {
            accepted = false;
        }
        EXPECT_EQ(accepted, c.accepted);
    }
    EXPECT_EQ(unchecked->validate("relative\\a<b")->text, "relative\\a<b");
    EXPECT_THROW(unchecked->validate("\xFF"), settings::Exception);
    EXPECT_THROW(unchecked->validate(nullptr), ConfigValidator::InavlidValueError);
}

}  // namespace
}  // namespace settings_impl

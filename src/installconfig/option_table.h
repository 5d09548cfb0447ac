// The installer's option vocabulary as one table of rows: every name table, the descriptor list, the value rules,
// the defaults and the usage lines are derived from it, so an option is added in one row.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/settings_api.h"

// Which name table an option belongs to; getters address an option by its index there.
enum class OptionKind { Flag, Value, Number, Switch };

// The value rule registered for an option (the last registration for a key is the one that applies).
enum class ValueRule {
    None,           // a switch: stored without value
    FlagWord,       // Enable, Disable, 1 or 0, in exact letter case
    SecurityLevel,  // 1 to 4 or L, M, H, VH
    Integer,        // any integer
    Seconds,        // plain decimal digits within [minimum, maximum]
    Text,           // any text
    AbsolutePath,   // a valid absolute path
};

// One option: how it is matched, stored, checked, exported, forwarded, defaulted and described.
struct OptionRow {
    const char* name = "";
    OptionKind kind = OptionKind::Switch;
    int index = 0;  // its place in the name table of its kind
    ValueRule rule = ValueRule::None;
    bool exported = false;        // kept in the export configuration, so it reaches the runtime settings file
    bool forwardedToMsi = false;  // its exported value goes into CMDLINE for the installer
    bool msiPassThrough = false;  // the raw argument goes to MSI_CMDLINE (for /l: the next argument is the log path)
    bool prefixMatch = false;     // an argument matches when it begins with the name; the name is stored
    const char* prefixTail = nullptr;  // the only characters that may follow a prefix name; null: any
    bool takesNext = false;            // a switch whose value is the argument after it (a path); nothing is stored
    bool checkReadable = false;   // its value must name a file that opens for reading
    bool plainTextNote = false;   // its value is noted as a file to be plain text
    bool enterpriseOnly = false;  // refused unless the installer is the enterprise edition
    const char* defaultText = nullptr;  // the built-in default, or none
    int defaultOrder = 0;               // where the default stands in the built-in default text
    int32_t minimum = 0;                // the Seconds rule's range and the number used when the option is absent
    int32_t maximum = 0;
    int32_t fallback = 0;
    // What the run makes of the option when a file sets it, for an option whose value only the command line
    // passes on; null: a file's value is applied like any other.
    const char* fromFileOnly = nullptr;
    const char* usageValue = nullptr;  // what follows the name in the usage text; null: not in the usage text
    const char* usageText = nullptr;

    constexpr OptionRow withExport() const { return with(&OptionRow::exported); }
    constexpr OptionRow forwarded() const { return with(&OptionRow::forwardedToMsi); }
    constexpr OptionRow passedThrough() const { return with(&OptionRow::msiPassThrough); }
    constexpr OptionRow byPrefix() const { return with(&OptionRow::prefixMatch); }
    constexpr OptionRow followedByValue() const { return with(&OptionRow::takesNext); }
    constexpr OptionRow byPrefixThen(const char* tail) const {
        OptionRow row = with(&OptionRow::prefixMatch);
        row.prefixTail = tail;
        return row;
    }
    constexpr OptionRow readable() const { return with(&OptionRow::checkReadable); }
    constexpr OptionRow plainTextNoted() const { return with(&OptionRow::plainTextNote); }
    constexpr OptionRow enterprise() const { return with(&OptionRow::enterpriseOnly); }
    constexpr OptionRow ruled(ValueRule r) const {
        OptionRow row = *this;
        row.rule = r;
        return row;
    }
    constexpr OptionRow defaultsTo(const char* text, int order) const {
        OptionRow row = *this;
        row.defaultText = text;
        row.defaultOrder = order;
        return row;
    }
    constexpr OptionRow secondsWithin(int32_t low, int32_t high, int32_t whenAbsent) const {
        OptionRow row = ruled(ValueRule::Seconds);
        row.minimum = low;
        row.maximum = high;
        row.fallback = whenAbsent;
        return row;
    }
    constexpr OptionRow passedOnOnlyFromCommandLine(const char* whatAFileDoes) const {
        OptionRow row = *this;
        row.fromFileOnly = whatAFileDoes;
        return row;
    }
    constexpr OptionRow usage(const char* value, const char* text) const {
        OptionRow row = *this;
        row.usageValue = value;
        row.usageText = text;
        return row;
    }

private:
    constexpr OptionRow with(bool OptionRow::*property) const {
        OptionRow row = *this;
        row.*property = true;
        return row;
    }
};

// The rows start from one of these: the kind and its default rule.
constexpr OptionRow optionOf(OptionKind kind, ValueRule rule, const char* name, int index) {
    OptionRow row;
    row.name = name;
    row.kind = kind;
    row.index = index;
    row.rule = rule;
    return row;
}
constexpr OptionRow flagOption(const char* name, int index) {
    return optionOf(OptionKind::Flag, ValueRule::FlagWord, name, index);
}
constexpr OptionRow valueOption(const char* name, int index) {
    return optionOf(OptionKind::Value, ValueRule::Text, name, index);
}
constexpr OptionRow numberOption(const char* name, int index) {
    return optionOf(OptionKind::Number, ValueRule::Integer, name, index);
}
constexpr OptionRow switchOption(const char* name, int index) {
    return optionOf(OptionKind::Switch, ValueRule::None, name, index);
}

// The descriptor list is the rows themselves.
using OptionDescriptor = OptionRow;

#include "installconfig/option_rows.h"

constexpr size_t kOptionDescriptorCount = sizeof kOptionRows / sizeof kOptionRows[0];
inline constexpr const OptionRow* OptionDescriptors = kOptionRows;

namespace optiontable {

constexpr size_t countOf(OptionKind kind) {
    size_t count = 0;
    for (const OptionRow& row : kOptionRows) count += row.kind == kind ? 1 : 0;
    return count;
}

template <size_t N>
constexpr std::array<const char*, N> namesOf(OptionKind kind) {
    std::array<const char*, N> names{};
    for (const OptionRow& row : kOptionRows)
        if (row.kind == kind) names[static_cast<size_t>(row.index)] = row.name;
    return names;
}

// Each kind's indexes are 0 to N-1, each taken once: a gap or a duplicate leaves a slot empty.
template <size_t N>
constexpr bool indexesComplete(const std::array<const char*, N>& names) {
    for (const char* name : names)
        if (name == nullptr) return false;
    return true;
}

constexpr bool sameText(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

constexpr bool namesUnique() {
    for (size_t i = 0; i < kOptionDescriptorCount; ++i)
        for (size_t j = i + 1; j < kOptionDescriptorCount; ++j)
            if (sameText(kOptionRows[i].name, kOptionRows[j].name)) return false;
    return true;
}

}  // namespace optiontable

// Getters address options by their index in these tables; the indexes are part of the interface.
inline constexpr auto FlagOptions = optiontable::namesOf<optiontable::countOf(OptionKind::Flag)>(OptionKind::Flag);
inline constexpr auto ValueOptions = optiontable::namesOf<optiontable::countOf(OptionKind::Value)>(OptionKind::Value);
inline constexpr auto NumberOptions =
    optiontable::namesOf<optiontable::countOf(OptionKind::Number)>(OptionKind::Number);
inline constexpr auto Switches = optiontable::namesOf<optiontable::countOf(OptionKind::Switch)>(OptionKind::Switch);

static_assert(optiontable::indexesComplete(FlagOptions) && optiontable::indexesComplete(ValueOptions) &&
                  optiontable::indexesComplete(NumberOptions) && optiontable::indexesComplete(Switches),
              "every option index of a kind is taken exactly once");
static_assert(optiontable::namesUnique(), "an option name stands in one row");

// The row named `name` exactly, or null.
const OptionRow* findOptionRow(const char* name);
// The row of a kind's index; it exists for every index of the tables above.
const OptionRow& optionRowAt(OptionKind kind, int index);

extern const settings::FixedValueEntry FLAG_VALUES[4];
extern const settings::FixedValueEntry SECURITY_LEVEL_VALUES[8];

// The built-in defaults, loaded into the working configuration before any other source: each row's default, in
// its default order, a line feed after each.
const std::string& defaultSettingsText();

bool isSwitchName(const char* name);

// The range rule of `row` (Seconds): 0 when `value` is plain decimal within the range or the row has no range
// rule, else the option-refused code 3090. Portable, like the rules above.
int32_t checkOptionRange(const OptionRow& row, const char* value);

// Registers every row's value rule and key mapping on the two builders. Returns 0, or the result of the first
// settings call that failed. Portable: the native tests, the fuzzer and the benchmark use it too.
int32_t registerOptionRules(const settings::settings_api& api, settings::ValidatorBuilderHandle rules,
                            settings::KeyMapperBuilderHandle mapping);

// The usage lines of the options, one a row that has one, in row order.
std::string optionUsageLines();

// What values `row` takes, in words, for the record that refuses one.
std::string acceptedValues(const OptionRow& row);

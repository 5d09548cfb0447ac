// What the option table's rows stand for: value rules, defaults and usage lines derived from each row.
#include "installconfig/option_table.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

// Flags 1: the text must match in exact letter case.
const settings::FixedValueEntry FLAG_VALUES[4] = {{"Enable", 1, 1}, {"Disable", 0, 1}, {"1", 1, 1}, {"0", 0, 1}};

const settings::FixedValueEntry SECURITY_LEVEL_VALUES[8] = {
    {"1", 1, 1}, {"2", 2, 1}, {"3", 3, 1}, {"4", 4, 1}, {"L", 1, 1}, {"M", 2, 1}, {"H", 3, 1}, {"VH", 4, 1},
};

const OptionRow* findOptionRow(const char* name) {
    for (const OptionRow& row : kOptionRows)
        if (std::strcmp(row.name, name) == 0) return &row;
    return nullptr;
}

const OptionRow& optionRowAt(OptionKind kind, int index) {
    for (const OptionRow& row : kOptionRows)
        if (row.kind == kind && row.index == index) return row;
    throw std::out_of_range("no option row at index " + std::to_string(index));
}

const std::string& defaultSettingsText() {
    static const std::string text = [] {
        std::vector<const OptionRow*> rows;
        for (const OptionRow& row : kOptionRows)
            if (row.defaultText) rows.push_back(&row);
        std::sort(rows.begin(), rows.end(),
                  [](const OptionRow* a, const OptionRow* b) { return a->defaultOrder < b->defaultOrder; });
        std::string out;
        for (const OptionRow* row : rows) out += std::string(row->name) + "=" + row->defaultText + "\n";
        return out;
    }();
    return text;
}

bool isSwitchName(const char* name) {
    const OptionRow* row = findOptionRow(name);
    return row && row->kind == OptionKind::Switch;
}

int32_t checkOptionRange(const OptionRow& row, const char* value) {
    constexpr int32_t kRefused = 3090;
    if (row.rule != ValueRule::Seconds) return 0;
    // Plain decimal digits only: the engine reads a leading 0 as octal and ignores what follows a number, so
    // "0600" or "10s" would not mean what the administrator wrote.
    if (!value || !*value || std::strlen(value) > 9 || (value[0] == '0' && value[1] != '\0')) return kRefused;
    long long number = 0;
    for (const char* p = value; *p; ++p) {
        if (*p < '0' || *p > '9') return kRefused;
        number = number * 10 + (*p - '0');
    }
    return number >= row.minimum && number <= row.maximum ? 0 : kRefused;
}

namespace {

// The rule a kind gets first, then the row's own rule over it (the last registration for a key applies).
int32_t registerRow(const settings::settings_api& api, settings::ValidatorBuilderHandle rules,
                    settings::KeyMapperBuilderHandle mapping, const OptionRow& row) {
    int32_t r = 0;
    switch (row.kind) {
        case OptionKind::Flag: r = api.setFixedValues(rules, row.name, FLAG_VALUES, 4); break;
        case OptionKind::Number: r = api.setTypeInt(rules, row.name); break;
        case OptionKind::Value: r = api.setTypeDirname(rules, row.name); break;
        case OptionKind::Switch: return 0;  // stored without value only, and never mapped
    }
    if (r == 0) r = api.addMapping(mapping, row.name, row.name, 0);
    return r;
}

int32_t registerOverride(const settings::settings_api& api, settings::ValidatorBuilderHandle rules,
                         const OptionRow& row) {
    if (row.rule == ValueRule::SecurityLevel) return api.setFixedValues(rules, row.name, SECURITY_LEVEL_VALUES, 8);
    if (row.rule == ValueRule::AbsolutePath) return api.setDirname(rules, row.name, 0);
    return 0;
}

template <size_t N>
int32_t registerKind(const settings::settings_api& api, settings::ValidatorBuilderHandle rules,
                     settings::KeyMapperBuilderHandle mapping, const std::array<const char*, N>& names) {
    for (const char* name : names)
        if (const int32_t r = registerRow(api, rules, mapping, *findOptionRow(name))) return r;
    return 0;
}

}  // namespace

int32_t registerOptionRules(const settings::settings_api& api, settings::ValidatorBuilderHandle rules,
                            settings::KeyMapperBuilderHandle mapping) {
    // Each kind in its table's index order, then the rules that narrow a kind's own, in the same order.
    int32_t r = 0;
    if ((r = registerKind(api, rules, mapping, FlagOptions)) || (r = registerKind(api, rules, mapping, NumberOptions)))
        return r;
    for (const char* name : NumberOptions)
        if ((r = registerOverride(api, rules, *findOptionRow(name)))) return r;
    if ((r = registerKind(api, rules, mapping, ValueOptions))) return r;
    for (const char* name : ValueOptions)
        if ((r = registerOverride(api, rules, *findOptionRow(name)))) return r;
    return api.setAllowUnknownKeys(rules, 0);
}

std::string acceptedValues(const OptionRow& row) {
    switch (row.rule) {
    case ValueRule::None: return "no value";
    case ValueRule::FlagWord: return "Enable, Disable, 1 or 0, in that letter case";
    case ValueRule::SecurityLevel: return "1 to 4, L, M, H or VH";
    case ValueRule::Integer: return "a whole number";
    case ValueRule::Seconds:
        return "a whole number of seconds from " + std::to_string(row.minimum) + " to " + std::to_string(row.maximum) +
               ", in decimal digits alone";
    case ValueRule::Text: return "any text on one line";
    case ValueRule::AbsolutePath: return "an absolute path with a drive letter";
    }
    return "no value it knows";
}

std::string optionUsageLines() {
    std::string lines;
    for (const OptionRow& row : kOptionRows) {
        if (!row.usageText) continue;
        std::string left = row.name;
        std::string text = row.usageText;
        if (row.usageValue)
            left += row.usageValue;
        else if (row.rule == ValueRule::FlagWord)
            left += "=Enable|Disable|1|0";
        else if (row.rule == ValueRule::Seconds)
            left += "=<" + std::to_string(row.minimum) + "-" + std::to_string(row.maximum) + ">";
        if (row.rule == ValueRule::Seconds) text += " (default " + std::to_string(row.fallback) + ")";
        if (row.defaultText) text += " (default " + std::string(row.defaultText) + ")";
        constexpr size_t kColumn = 36;
        lines += "  " + left + (left.size() < kColumn ? std::string(kColumn - left.size(), ' ') : " ") + text + "\n";
    }
    return lines;
}

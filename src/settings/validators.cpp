// The three value validators, ConfigValidator and its builder.
#include "settings/validators.h"

#include "settings/file_name.h"

namespace settings_impl {
namespace {

using InavlidValueError = ConfigValidator::InavlidValueError;

class TypeValidator : public IConfigValueValidator {
public:
    explicit TypeValidator(ValueType type_) : type(type_) {}

    ConfigValuePtr validate(const char* value) const override {
        if (!value) {
            if (type == Bool) return nullptr;
            throw InavlidValueError();
        }
        return std::make_unique<ConfigValue>(type, std::string(value));
    }

    ValueType type;
};

class DirnameValidator : public IConfigValueValidator {
public:
    explicit DirnameValidator(bool skipCheck_) : skipCheck(skipCheck_) {}

    ConfigValuePtr validate(const char* value) const override {
        if (!value) throw InavlidValueError();
        if (!skipCheck && !FileName::isValidAbsoluteName(value)) throw InavlidValueError();
        return std::make_unique<ConfigValue>(Dirname, std::string(value));
    }

    bool skipCheck;
};

bool sameTextIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return i == a.size() && !b[i];
}

class FixedValueValidator : public IConfigValueValidator {
public:
    explicit FixedValueValidator(std::vector<FixedValue> entries_) : entries(std::move(entries_)) {}

    ConfigValuePtr validate(const char* value) const override {
        if (!value) throw InavlidValueError();
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            const bool matches = (it->flags & FixedValue::MatchCase) ? it->text == value
                                                                       : sameTextIgnoringCase(it->text, value);
            if (matches) {
                const char* text = (it->flags & FixedValue::UseOwnText) ? it->text.c_str() : value;
                return std::make_unique<ConfigValue>(Int, it->value, text);
            }
        }
        throw InavlidValueError();
    }

    std::vector<FixedValue> entries;
};

}  // namespace

std::unique_ptr<IConfigValueValidator> createTypeValidator(ValueType type) {
    return std::make_unique<TypeValidator>(type);
}

std::unique_ptr<IConfigValueValidator> createDirnameValidator(bool skipCheck) {
    return std::make_unique<DirnameValidator>(skipCheck);
}

std::unique_ptr<IConfigValueValidator> createFixedValueValidator(std::vector<FixedValue> entries) {
    return std::make_unique<FixedValueValidator>(std::move(entries));
}

ConfigValuePtr ConfigValidator::validate(const std::string& key, const char* value) const {
    auto it = validators.find(key);
    if (it != validators.end()) {
        return it->second->validate(value);
    }
    if (allowUnknownKeys) {
        // Keys without value never reach the validator through the builder.
        if (!value) throw InavlidValueError();
        return std::make_unique<ConfigValue>(String, std::string(value));
    }
    throw InavlidKeyError();
}

void ConfigValidatorBuilder::setType(const std::string& key, ValueType type) {
    types[key] = type;
    dirnames.erase(key);
    fixedValues.erase(key);
}

void ConfigValidatorBuilder::setDirname(const std::string& key, bool skipCheck) {
    dirnames[key] = skipCheck;
    types.erase(key);
    fixedValues.erase(key);
}

void ConfigValidatorBuilder::setFixedValues(const std::string& key, const std::vector<FixedValue>& list) {
    std::vector<FixedValue>& known = fixedValues[key];
    for (const FixedValue& entry : list) {
        bool replaced = false;
        for (FixedValue& existing : known) {
            if (existing.text == entry.text) {
                existing.value = entry.value;
                existing.flags = entry.flags;
                replaced = true;
                break;
            }
        }
        if (!replaced) known.push_back(entry);
    }
    types.erase(key);
    dirnames.erase(key);
}

std::unique_ptr<ConfigValidator> ConfigValidatorBuilder::buildValidator() const {
    auto validator = std::make_unique<ConfigValidator>();
    for (const auto& rule : types) {
        if (rule.second == String && allowUnknownKeys) continue;
        validator->validators[rule.first] = createTypeValidator(rule.second);
    }
    for (const auto& rule : dirnames) {
        validator->validators[rule.first] = createDirnameValidator(rule.second);
    }
    for (const auto& rule : fixedValues) {
        validator->validators[rule.first] = createFixedValueValidator(rule.second);
    }
    validator->allowUnknownKeys = allowUnknownKeys;
    return validator;
}

}  // namespace settings_impl

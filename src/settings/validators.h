// Value validators: per-key rules checked while a settings text is read.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "settings/config.h"

namespace settings_impl {

class IConfigValueValidator {
public:
    virtual ~IConfigValueValidator() = default;
    // `value` may be null (a key without value); the result may be null.
    virtual ConfigValuePtr validate(const char* value) const = 0;
};

struct FixedValue {
    enum Flags : int32_t { MatchCase = 1, UseOwnText = 2 };
    std::string text;
    int32_t value;
    int32_t flags;
};

std::unique_ptr<IConfigValueValidator> createTypeValidator(ValueType type);
std::unique_ptr<IConfigValueValidator> createDirnameValidator(bool skipCheck);
std::unique_ptr<IConfigValueValidator> createFixedValueValidator(std::vector<FixedValue> entries);

class ConfigValidator {
public:
    class Error : public std::runtime_error {
    public:
        Error() : std::runtime_error("") {}
    };
    class InavlidKeyError : public Error {};
    class InavlidValueError : public Error {};

    // `key` is the key after mapping.
    ConfigValuePtr validate(const std::string& key, const char* value) const;

    // Hashed: every entry of a file looks its key up here.
    std::unordered_map<std::string, std::unique_ptr<IConfigValueValidator>> validators;
    bool allowUnknownKeys = false;
};

class ConfigValidatorBuilder {
public:
    void setType(const std::string& key, ValueType type);
    void setDirname(const std::string& key, bool skipCheck);
    void setFixedValues(const std::string& key, const std::vector<FixedValue>& list);
    void setAllowUnknownKeys(bool allow) { allowUnknownKeys = allow; }
    std::unique_ptr<ConfigValidator> buildValidator() const;

private:
    std::map<std::string, ValueType> types;
    std::map<std::string, bool> dirnames;
    std::map<std::string, std::vector<FixedValue>> fixedValues;
    bool allowUnknownKeys = false;
};

}  // namespace settings_impl

// The configuration model: typed values, the IConfig interface and whole-configuration operations.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "settings/settings_exception.h"

namespace settings_impl {

enum ValueType : int32_t {
    String = 100,
    Dirname = 101,
    Int = 102,
    Bool = 103,
    Double = 104,
};

// A value always keeps its text; numbers are kept beside it for the numeric types.
struct ConfigValue {
    // Checks and converts `text` for the type (302 on bad UTF-8, number or boolean).
    ConfigValue(ValueType type, std::string text);
    // The number as given; a null text is replaced by the number written out.
    ConfigValue(ValueType type, int32_t number, const char* text);
    ConfigValue(ValueType type, bool flag, const char* text);
    ConfigValue(ValueType type, double number, const char* text);

    ValueType type;
    union {
        int32_t intValue;
        bool boolValue;
        double doubleValue;
    };
    std::string text;
};

using ConfigValuePtr = std::unique_ptr<ConfigValue>;
// Keys in standard string order; a null value is a key without value.
using ConfigEntries = std::map<std::string, ConfigValuePtr>;

class IConfig {
public:
    virtual ~IConfig() = default;
    virtual ValueType getType(const char* key) const = 0;
    virtual bool hasValue(const char* key) const = 0;
    virtual const char* getString(const char* key) const = 0;
    virtual int32_t getInt(const char* key) const = 0;
    virtual double getDouble(const char* key) const = 0;
    virtual bool getBool(const char* key) const = 0;
    virtual std::string copyString(const char* key) const = 0;
    virtual std::vector<const char*> getKeys() const = 0;
};

using ConfigPtr = std::unique_ptr<IConfig>;

ConfigPtr createEmptyConfig();
// A configuration owning `entries`.
ConfigPtr createConfig(ConfigEntries entries);

// Null when the key has no value; 303 when absent.
ConfigValuePtr copyValue(const IConfig& config, const char* key);
// The keys of `b` replace those of `a`.
ConfigPtr mergeConfigs(const IConfig& a, const IConfig& b);
// 303 unless every key is present; then a copy without them.
ConfigPtr removeKeys(const IConfig& config, const std::vector<std::string>& keys);
ConfigPtr removeKey(const IConfig& config, const char* key);
bool configsEqual(const IConfig& a, const IConfig& b);

int32_t parseInt(const std::string& text);
double parseDouble(const std::string& text);
bool parseBool(const std::string& text);

// The first byte that breaks UTF-8 well-formedness, or `last`.
const char* findInvalidUtf8(const char* first, const char* last);
inline bool isValidUtf8(const std::string& text) {
    return findInvalidUtf8(text.data(), text.data() + text.size()) == text.data() + text.size();
}

}  // namespace settings_impl

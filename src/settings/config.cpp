// Config, the ordered key/value map behind IConfig, and the whole-configuration operations.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "settings/config.h"

namespace settings_impl {
namespace {

class Config : public IConfig {
public:
    explicit Config(ConfigEntries entries_) : entries(std::move(entries_)) {}

    ValueType getType(const char* key) const override { return valueOf(key).type; }

    bool hasValue(const char* key) const override { return find(key).second != nullptr; }

    const char* getString(const char* key) const override { return valueOf(key).text.c_str(); }

    int32_t getInt(const char* key) const override {
        const ConfigValue& value = valueOf(key);
        if (value.type == String) return parseInt(value.text);
        if (value.type == Int) return value.intValue;
        throw ExceptionCode<301>();
    }

    double getDouble(const char* key) const override {
        const ConfigValue& value = valueOf(key);
        if (value.type == String) return parseDouble(value.text);
        if (value.type == Double) return value.doubleValue;
        throw ExceptionCode<301>();
    }

    bool getBool(const char* key) const override {
        const ConfigValue& value = valueOf(key);
        if (value.type == String) return parseBool(value.text);
        if (value.type == Bool) return value.boolValue;
        throw ExceptionCode<301>();
    }

    std::string copyString(const char* key) const override { return valueOf(key).text; }

    std::vector<const char*> getKeys() const override {
        std::vector<const char*> keys;
        keys.reserve(entries.size());
        for (const auto& entry : entries) {
            keys.push_back(entry.first.c_str());
        }
        return keys;
    }

private:
    const ConfigEntries::value_type& find(const char* key) const {
        auto it = entries.find(key);
        if (it == entries.end()) {
            throw ExceptionCode<303>();
        }
        return *it;
    }

    const ConfigValue& valueOf(const char* key) const {
        const ConfigValuePtr& value = find(key).second;
        if (!value) {
            throw ExceptionCode<301>();
        }
        return *value;
    }

    ConfigEntries entries;
};

void copyAllInto(const IConfig& config, ConfigEntries& entries) {
    for (const char* key : config.getKeys()) {
        entries[key] = copyValue(config, key);
    }
}

bool byteLess(const char* a, const char* b) { return std::strcmp(a, b) < 0; }

}  // namespace

ConfigPtr createEmptyConfig() { return std::make_unique<Config>(ConfigEntries()); }

ConfigPtr createConfig(ConfigEntries entries) { return std::make_unique<Config>(std::move(entries)); }

ConfigValuePtr copyValue(const IConfig& config, const char* key) {
    if (!config.hasValue(key)) {
        return nullptr;
    }
    const ValueType type = config.getType(key);
    switch (type) {
    case String:
    case Dirname:
        return std::make_unique<ConfigValue>(type, config.copyString(key));
    case Int:
        return std::make_unique<ConfigValue>(Int, config.getInt(key), config.copyString(key).c_str());
    case Bool:
        return std::make_unique<ConfigValue>(Bool, config.getBool(key), config.copyString(key).c_str());
    case Double:
        return std::make_unique<ConfigValue>(Double, config.getDouble(key), config.copyString(key).c_str());
    default:
        throw std::runtime_error("unexpected");
    }
}

ConfigPtr mergeConfigs(const IConfig& a, const IConfig& b) {
    ConfigEntries entries;
    copyAllInto(a, entries);
    copyAllInto(b, entries);
    return createConfig(std::move(entries));
}

ConfigPtr removeKeys(const IConfig& config, const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        config.hasValue(key.c_str());  // 303 for an absent key, before anything is removed
    }
    ConfigEntries entries;
    for (const char* key : config.getKeys()) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            entries[key] = copyValue(config, key);
        }
    }
    return createConfig(std::move(entries));
}

ConfigPtr removeKey(const IConfig& config, const char* key) {
    return removeKeys(config, std::vector<std::string>{key});
}

bool configsEqual(const IConfig& a, const IConfig& b) {
    if (&a == &b) {
        return true;
    }
    std::vector<const char*> keysA = a.getKeys();
    std::vector<const char*> keysB = b.getKeys();
    if (keysA.size() != keysB.size()) {
        return false;
    }
    std::sort(keysA.begin(), keysA.end(), byteLess);
    std::sort(keysB.begin(), keysB.end(), byteLess);
    for (size_t i = 0; i < keysA.size(); ++i) {
        if (std::strcmp(keysA[i], keysB[i]) != 0) {
            return false;
        }
    }
    for (const char* key : keysA) {
        const bool valueA = a.hasValue(key);
        const bool valueB = b.hasValue(key);
        if (!valueA && !valueB) continue;
        if (valueA != valueB) return false;
        const ValueType type = a.getType(key);
        if (type != b.getType(key)) return false;
        switch (type) {
        case String:
        case Dirname:
            if (a.copyString(key) != b.copyString(key)) return false;
            break;
        case Int:
            if (a.getInt(key) != b.getInt(key)) return false;
            break;
        case Bool:
            if (a.getBool(key) != b.getBool(key)) return false;
            break;
        case Double:
            if (!(a.getDouble(key) == b.getDouble(key))) return false;
            break;
        default:
            throw std::runtime_error("unexpected");
        }
    }
    return true;
}

}  // namespace settings_impl

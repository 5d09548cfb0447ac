// The settings API table: Context handles and the 32 operations that turn exceptions into result codes.
#include "settings/settings_api.h"

#include <cstdio>
#include <new>
#include <vector>

#include "settings/config.h"
#include "settings/key_mapper.h"
#include "settings/parser.h"
#include "settings/serializer.h"
#include "settings/validators.h"

namespace settings_impl {
namespace {

class Context : public IParserErrorListener {
public:
    Context() : config(createEmptyConfig()), settingsPath(runtimeSettingsPath()) {}

    void onError(const IParserCursor& cursor, const char* message) override {
        errorLines.push_back(static_cast<const PlainTextFileConfigParser::Cursor&>(cursor).line);
        const std::string report = std::string("Error reading config file: ") + message + "\n";
        std::fputs(report.c_str(), stderr);
        std::fflush(stderr);
        throw settings::Exception(313);
    }

    // Stop-on-error leaves the configuration untouched; otherwise the good lines are merged.
    void load(std::unique_ptr<PlainTextFileConfigParser::IBuffer> buffer, const ConfigValidator* validator,
              const KeyMapperList* mappers, bool stopOnError, bool allowKeysWithoutValue) {
        errorLines.clear();
        PlainTextFileConfigParser parser(std::move(buffer));
        parser.setValidator(validator);
        parser.setKeyMappers(mappers);
        parser.setErrorListener(this);
        parser.setStopOnError(stopOnError);
        parser.setAllowKeysWithoutValue(allowKeysWithoutValue);
        ConfigPtr parsed = parser.parse();
        if (parsed) config = mergeConfigs(*config, *parsed);
        if (!errorLines.empty()) throw settings::Exception(313);
    }

    ConfigPtr config;
    std::string settingsPath;
    std::vector<int32_t> errorLines;
};

Context* context(settings::ConfigHandle handle) { return reinterpret_cast<Context*>(handle); }
ConfigValidator* validatorOf(settings::ValidatorHandle handle) { return reinterpret_cast<ConfigValidator*>(handle); }
ConfigValidatorBuilder* builderOf(settings::ValidatorBuilderHandle handle) {
    return reinterpret_cast<ConfigValidatorBuilder*>(handle);
}
KeyMapperList* mappersOf(settings::KeyMapperListHandle handle) { return reinterpret_cast<KeyMapperList*>(handle); }
KeyMapperBuilder* mapperBuilderOf(settings::KeyMapperBuilderHandle handle) {
    return reinterpret_cast<KeyMapperBuilder*>(handle);
}

// Runs `work` and turns whatever leaves it into the result code.
template <class Work>
int32_t guarded(Work&& work) {
    try {
        work();
        return settings::RESULT_OK;
    } catch (const settings::Exception& e) {
        return e.code;
    } catch (...) {
        return settings::RESULT_UNEXPECTED;
    }
}

constexpr int32_t NULL_ARGUMENT = settings::RESULT_NULL_ARGUMENT;

settings::ConfigHandle createContext() {
    try {
        return reinterpret_cast<settings::ConfigHandle>(new Context());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int32_t destroyConfig(settings::ConfigHandle handle) {
    delete context(handle);
    return settings::RESULT_OK;
}

int32_t getRuntimeFilePath(settings::ConfigHandle handle, const char** path) {
    if (!handle || !path) return NULL_ARGUMENT;
    *path = context(handle)->settingsPath.c_str();
    return settings::RESULT_OK;
}

int32_t loadFile(settings::ConfigHandle handle, const char* path, settings::ValidatorHandle validator,
                 settings::KeyMapperListHandle mappers, int32_t stopOnError, int32_t allowKeysWithoutValue) {
    if (!handle || !path) return NULL_ARGUMENT;
    return guarded([&] {
        auto buffer = std::make_unique<FileBuffer>(FileName(path).canonicalize());
        context(handle)->load(std::move(buffer), validatorOf(validator), mappersOf(mappers), stopOnError != 0,
                              allowKeysWithoutValue != 0);
    });
}

int32_t loadText(settings::ConfigHandle handle, const char* text, settings::ValidatorHandle validator,
                 settings::KeyMapperListHandle mappers, int32_t stopOnError, int32_t allowKeysWithoutValue) {
    if (!handle || !text) return NULL_ARGUMENT;
    return guarded([&] {
        context(handle)->load(std::make_unique<StringBuffer>(text), validatorOf(validator), mappersOf(mappers),
                              stopOnError != 0, allowKeysWithoutValue != 0);
    });
}

int32_t merge(settings::ConfigHandle handle, settings::ConfigHandle other) {
    if (!handle || !other) return NULL_ARGUMENT;
    return guarded([&] { context(handle)->config = mergeConfigs(*context(handle)->config, *context(other)->config); });
}

int32_t getErrorLines(settings::ConfigHandle handle, const int32_t** firstLine, int32_t* count) {
    if (!handle || !firstLine || !count) return NULL_ARGUMENT;
    const std::vector<int32_t>& lines = context(handle)->errorLines;
    *firstLine = lines.empty() ? nullptr : lines.data();
    *count = static_cast<int32_t>(lines.size());
    return settings::RESULT_OK;
}

int32_t saveFile(settings::ConfigHandle handle, const char* path) {
    if (!handle || !path) return NULL_ARGUMENT;
    return guarded([&] { saveConfigFile(*context(handle)->config, FileName(path).canonicalize()); });
}

int32_t isEmpty(settings::ConfigHandle handle, int32_t* empty) {
    if (!handle || !empty) return NULL_ARGUMENT;
    return guarded([&] { *empty = context(handle)->config->getKeys().empty() ? 1 : 0; });
}

int32_t equals(settings::ConfigHandle handle, settings::ConfigHandle other, int32_t* equal) {
    if (!handle || !other || !equal) return NULL_ARGUMENT;
    return guarded([&] { *equal = configsEqual(*context(handle)->config, *context(other)->config) ? 1 : 0; });
}

int32_t forEachKey(settings::ConfigHandle handle, settings::KeyCallback callback, void* user) {
    if (!handle || !callback) return NULL_ARGUMENT;
    return guarded([&] {
        // Copies, so that a callback that changes the configuration cannot pull keys away.
        std::vector<std::string> keys;
        for (const char* key : context(handle)->config->getKeys()) keys.emplace_back(key);
        const int32_t count = static_cast<int32_t>(keys.size());
        for (int32_t i = 0; i < count; ++i) callback(handle, count, i, keys[i].c_str(), user);
    });
}

int32_t getString(settings::ConfigHandle handle, const char* key, const char** value) {
    if (!handle || !key || !value) return NULL_ARGUMENT;
    return guarded([&] { *value = context(handle)->config->getString(key); });
}

int32_t getBool(settings::ConfigHandle handle, const char* key, int32_t* value) {
    if (!handle || !key || !value) return NULL_ARGUMENT;
    return guarded([&] {
        const IConfig& config = *context(handle)->config;
        *value = (!config.hasValue(key) || config.getBool(key)) ? 1 : 0;
    });
}

int32_t getInt(settings::ConfigHandle handle, const char* key, int32_t* value) {
    if (!handle || !key || !value) return NULL_ARGUMENT;
    return guarded([&] { *value = context(handle)->config->getInt(key); });
}

int32_t getDouble(settings::ConfigHandle handle, const char* key, double* value) {
    if (!handle || !key || !value) return NULL_ARGUMENT;
    return guarded([&] { *value = context(handle)->config->getDouble(key); });
}

int32_t removeKeyOp(settings::ConfigHandle handle, const char* key) {
    if (!handle || !key) return NULL_ARGUMENT;
    return guarded([&] { context(handle)->config = removeKey(*context(handle)->config, key); });
}

int32_t destroyValidator(settings::ValidatorHandle validator) {
    delete validatorOf(validator);
    return settings::RESULT_OK;
}

settings::ValidatorBuilderHandle createValidatorBuilder() {
    return reinterpret_cast<settings::ValidatorBuilderHandle>(new (std::nothrow) ConfigValidatorBuilder());
}

int32_t destroyValidatorBuilder(settings::ValidatorBuilderHandle builder) {
    delete builderOf(builder);
    return settings::RESULT_OK;
}

int32_t buildValidator(settings::ValidatorBuilderHandle builder, settings::ValidatorHandle* validator) {
    if (!builder || !validator) return NULL_ARGUMENT;
    return guarded([&] {
        *validator = reinterpret_cast<settings::ValidatorHandle>(builderOf(builder)->buildValidator().release());
    });
}

int32_t setTypeOf(settings::ValidatorBuilderHandle builder, const char* key, ValueType type) {
    if (!builder || !key) return NULL_ARGUMENT;
    return guarded([&] { builderOf(builder)->setType(key, type); });
}

int32_t setTypeDirname(settings::ValidatorBuilderHandle b, const char* key) { return setTypeOf(b, key, Dirname); }
int32_t setTypeInt(settings::ValidatorBuilderHandle b, const char* key) { return setTypeOf(b, key, Int); }
int32_t setTypeBool(settings::ValidatorBuilderHandle b, const char* key) { return setTypeOf(b, key, Bool); }
int32_t setTypeDouble(settings::ValidatorBuilderHandle b, const char* key) { return setTypeOf(b, key, Double); }

int32_t setAllowUnknownKeys(settings::ValidatorBuilderHandle builder, int32_t allow) {
    if (!builder) return NULL_ARGUMENT;
    builderOf(builder)->setAllowUnknownKeys(allow != 0);
    return settings::RESULT_OK;
}

int32_t setFixedValues(settings::ValidatorBuilderHandle builder, const char* key,
                       const settings::FixedValueEntry* entries, int32_t count) {
    if (!builder || !key || !entries) return NULL_ARGUMENT;
    for (int32_t i = 0; i < count; ++i) {
        if (!entries[i].text) return NULL_ARGUMENT;
        const int32_t result = guarded([&] {
            builderOf(builder)->setFixedValues(key, {FixedValue{entries[i].text, entries[i].value, entries[i].flags}});
        });
        if (result != settings::RESULT_OK) return result;
    }
    return settings::RESULT_OK;
}

int32_t setDirname(settings::ValidatorBuilderHandle builder, const char* key, int32_t skipCheck) {
    if (!builder || !key) return NULL_ARGUMENT;
    return guarded([&] { builderOf(builder)->setDirname(key, skipCheck != 0); });
}

int32_t destroyKeyMapperList(settings::KeyMapperListHandle mappers) {
    delete mappersOf(mappers);
    return settings::RESULT_OK;
}

settings::KeyMapperBuilderHandle createKeyMapperBuilder() {
    return reinterpret_cast<settings::KeyMapperBuilderHandle>(new (std::nothrow) KeyMapperBuilder());
}

int32_t destroyKeyMapperBuilder(settings::KeyMapperBuilderHandle builder) {
    delete mapperBuilderOf(builder);
    return settings::RESULT_OK;
}

int32_t buildMappers(settings::KeyMapperBuilderHandle builder, settings::KeyMapperListHandle* mappers) {
    if (!builder || !mappers) return NULL_ARGUMENT;
    return guarded([&] {
        *mappers = reinterpret_cast<settings::KeyMapperListHandle>(mapperBuilderOf(builder)->buildMappers().release());
    });
}

int32_t addMapping(settings::KeyMapperBuilderHandle builder, const char* fromKey, const char* toKey,
                   int32_t caseSensitive) {
    if (!builder || !fromKey || !toKey) return NULL_ARGUMENT;
    return guarded([&] { mapperBuilderOf(builder)->addMapping(fromKey, toKey, caseSensitive != 0); });
}

}  // namespace
}  // namespace settings_impl

namespace settings {

void initSettingsApi(settings_api& table) {
    using namespace settings_impl;
    table = settings_api{};
    table.createConfig = &createContext;
    table.destroyConfig = &destroyConfig;
    table.getRuntimeFilePath = &getRuntimeFilePath;
    table.loadFile = &loadFile;
    table.loadText = &loadText;
    table.merge = &merge;
    table.getErrorLines = &getErrorLines;
    table.saveFile = &saveFile;
    table.isEmpty = &isEmpty;
    table.equals = &equals;
    table.forEachKey = &forEachKey;
    table.getString = &getString;
    table.getBool = &getBool;
    table.getInt = &getInt;
    table.getDouble = &getDouble;
    table.removeKey = &removeKeyOp;
    table.destroyValidator = &destroyValidator;
    table.createValidatorBuilder = &createValidatorBuilder;
    table.destroyValidatorBuilder = &destroyValidatorBuilder;
    table.buildValidator = &buildValidator;
    table.setTypeDirname = &setTypeDirname;
    table.setTypeInt = &setTypeInt;
    table.setTypeBool = &setTypeBool;
    table.setTypeDouble = &setTypeDouble;
    table.setAllowUnknownKeys = &setAllowUnknownKeys;
    table.setFixedValues = &setFixedValues;
    table.setDirname = &setDirname;
    table.destroyKeyMapperList = &destroyKeyMapperList;
    table.createKeyMapperBuilder = &createKeyMapperBuilder;
    table.destroyKeyMapperBuilder = &destroyKeyMapperBuilder;
    table.buildMappers = &buildMappers;
    table.addMapping = &addMapping;
}

settings_api getSettingsApi() {
    settings_api table;
    initSettingsApi(table);
    return table;
}

int32_t settingsFileText(ConfigHandle config, bool replacing, std::string& text) {
    using namespace settings_impl;
    if (!config) return NULL_ARGUMENT;
    return guarded([&] { text = settingsFileBytes(*context(config)->config, replacing); });
}

}  // namespace settings

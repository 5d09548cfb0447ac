// libFuzzer target: settings text through the parser and the API's load path, under any rule set.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "installer_rules.h"
#include "settings/file_name.h"
#include "settings/settings_api.h"

namespace {

// Rules that exercise every validator kind, admitting unknown keys.
struct MixedRules {
    explicit MixedRules(const settings::settings_api& api_) : api(api_) {
        settings::ValidatorBuilderHandle rules = api.createValidatorBuilder();
        api.setTypeInt(rules, "I");
        api.setTypeBool(rules, "B");
        api.setTypeDouble(rules, "D");
        api.setTypeDirname(rules, "P");
        api.setDirname(rules, "Q", 0);
        const settings::FixedValueEntry words[] = {{"on", 1, 0}, {"Off", 0, 1}, {"x", 7, 2}, {"X", 8, 3}};
        api.setFixedValues(rules, "F", words, 4);
        api.setAllowUnknownKeys(rules, 1);
        api.buildValidator(rules, &validator);
        api.destroyValidatorBuilder(rules);
        settings::KeyMapperBuilderHandle mapping = api.createKeyMapperBuilder();
        api.addMapping(mapping, "i", "I", 1);
        api.addMapping(mapping, "flag", "F", 0);
        api.addMapping(mapping, "path", "Q", 0);
        api.buildMappers(mapping, &mappers);
        api.destroyKeyMapperBuilder(mapping);
    }
    ~MixedRules() {
        api.destroyKeyMapperList(mappers);
        api.destroyValidator(validator);
    }
    const settings::settings_api& api;
    settings::ValidatorHandle validator = nullptr;
    settings::KeyMapperListHandle mappers = nullptr;
};

const settings::settings_api api = settings::getSettingsApi();

// On the standard output: scripts/fuzz closes the standard error stream, where the engine reports
// every bad line, for the target.
void fail(const char* what) {
    std::fprintf(stdout, "settings_fuzz: %s\n", what);
    std::fflush(stdout);
    std::abort();
}

void readEveryKey(settings::ConfigHandle config) {
    api.forEachKey(
        config,
        [](settings::ConfigHandle handle, int32_t, int32_t, const char* key, void*) {
            const char* text = nullptr;
            int32_t number = 0;
            double real = 0;
            const int32_t stringResult = api.getString(handle, key, &text);
            if (stringResult != 0 && stringResult != 301) fail("getString of a listed key failed");
            api.getInt(handle, key, &number);
            api.getBool(handle, key, &number);
            api.getDouble(handle, key, &real);
        },
        nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const settings_test::InstallerRules installer(api);
    static const MixedRules mixed(api);
    if (size == 0) return 0;
    const uint8_t options = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool stopOnError = options & 1;
    const bool keysWithoutValue = options & 2;
    settings::ValidatorHandle validator = nullptr;
    settings::KeyMapperListHandle mappers = nullptr;
    switch ((options >> 2) & 3) {
    case 1:
        validator = installer.validator;
        mappers = installer.mappers;
        break;
    case 2:
        validator = mixed.validator;
        mappers = mixed.mappers;
        break;
    case 3:
        mappers = (options & 16) ? installer.mappers : mixed.mappers;
        break;
    default:
        break;
    }

    settings::ConfigHandle config = api.createConfig();
    const int32_t result = api.loadText(config, text.c_str(), validator, mappers, stopOnError, keysWithoutValue);
    const int32_t* lines = nullptr;
    int32_t count = 0;
    api.getErrorLines(config, &lines, &count);
    int32_t empty = 0;
    api.isEmpty(config, &empty);
    if (result != 0 && result != 313 && result != 314) fail("unexpected load result");
    if ((result == 313) != (count > 0)) fail("result and error lines disagree");
    if (result == 313 && stopOnError && (count != 1 || !empty)) fail("stop-on-error load changed the configuration");
    for (int32_t i = 1; i < count; ++i) {
        if (lines[i] <= lines[i - 1]) fail("error lines out of order");
    }
    readEveryKey(config);

    // What was loaded merges into a copy and compares equal to it.
    settings::ConfigHandle copy = api.createConfig();
    int32_t equal = 0;
    if (api.merge(copy, config) != 0 || api.equals(copy, config, &equal) != 0) fail("merge or equals failed");
    if (!equal) {
        // NaN values never compare equal; anything else must.
        bool hasNan = false;
        api.forEachKey(
            config,
            [](settings::ConfigHandle handle, int32_t, int32_t, const char* key, void* user) {
                double real = 0;
                if (api.getDouble(handle, key, &real) == 0 && real != real) *static_cast<bool*>(user) = true;
            },
            &hasNan);
        if (!hasNan) fail("a merged copy differs");
    }
    api.destroyConfig(copy);
    api.destroyConfig(config);

    // The first line as a file name.
    try {
        const settings_impl::FileName name(text.substr(0, text.find_first_of("\r\n")));
        name.canonicalize();
    } catch (const std::exception&) {
    }
    return 0;
}

// ConfigSlot: one settings configuration handle with the load options and shared rules it is loaded with.
#include "installconfig/config_slot.h"

ConfigSlot::ConfigSlot(const settings::settings_api& api_, const settings::ValidatorHandle& validator_,
                       const settings::KeyMapperListHandle& mappers_)
    : api(api_), validator(validator_), mappers(mappers_) {
    config = api.createConfig();
    if (!config) throw settings::Exception(settings::RESULT_UNEXPECTED);
}

ConfigSlot::~ConfigSlot() { api.destroyConfig(config); }

int32_t ConfigSlot::loadText(const char* text) const {
    return api.loadText(config, text, validator, mappers, stopOnError, allowKeysWithoutValue);
}

int32_t ConfigSlot::loadFile(const char* path) const {
    return api.loadFile(config, path, validator, mappers, stopOnError, allowKeysWithoutValue);
}

void throwOnSettingsError(int32_t code) {
    if (code != 0) throw settings::Exception(code);
}

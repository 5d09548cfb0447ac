// ConfigSlot: one settings configuration handle with the load options and shared rules it is loaded with.
#pragma once

#include "settings/settings_api.h"

class ConfigSlot {
public:
    // Creates an empty configuration; raises settings::Exception 200 when the engine cannot make one.
    ConfigSlot(const settings::settings_api& api, const settings::ValidatorHandle& validator,
               const settings::KeyMapperListHandle& mappers);
    ~ConfigSlot();
    ConfigSlot(const ConfigSlot&) = delete;
    ConfigSlot& operator=(const ConfigSlot&) = delete;

    // Loads into this configuration with the shared rules and the slot's options; returns the result code.
    int32_t loadText(const char* text) const;
    int32_t loadFile(const char* path) const;

    settings::settings_api api;
    settings::ConfigHandle config = nullptr;
    bool stopOnError = true;
    bool allowKeysWithoutValue = false;
    // Owned by InstallConfigData and shared by its three slots.
    const settings::ValidatorHandle& validator;
    const settings::KeyMapperListHandle& mappers;
};

// Raises settings::Exception with `code` unless it is 0.
void throwOnSettingsError(int32_t code);

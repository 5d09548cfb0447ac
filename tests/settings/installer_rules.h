// The installer's option rules (validator and key mapping) built through the settings API,
// as the installer configuration registers them; shared by tests, the fuzz target and the benchmark.
#pragma once

#include "settings_api.h"

namespace settings_test {

struct InstallerRules {
    explicit InstallerRules(const settings::settings_api& api);
    ~InstallerRules();
    InstallerRules(const InstallerRules&) = delete;
    InstallerRules& operator=(const InstallerRules&) = delete;

    const settings::settings_api& api;
    settings::ValidatorHandle validator = nullptr;
    settings::KeyMapperListHandle mappers = nullptr;
};

extern const char* const INSTALLER_DEFAULT_SETTINGS;

}  // namespace settings_test

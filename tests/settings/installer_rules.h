// The installer's own option rules (validator and key mapping), built through the settings API and owned
// for one test; shared by tests, the fuzz target and the benchmark.
#pragma once

#include "installconfig/option_table.h"
#include "settings/settings_api.h"

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

// The installer's built-in defaults, as the option table derives them.
inline const char* installerDefaultSettings() { return defaultSettingsText().c_str(); }

}  // namespace settings_test

// The installer's option rules, registered through the settings API by the installer's own code.
#include "installer_rules.h"

#include <memory>
#include <stdexcept>

namespace settings_test {
namespace {

void check(int32_t result) {
    if (result != 0) throw std::runtime_error("settings call failed with " + std::to_string(result));
}

}  // namespace

InstallerRules::InstallerRules(const settings::settings_api& api_) : api(api_) {
    // The builders go with this scope, whether the registrations succeed or not.
    std::unique_ptr<settings::ValidatorBuilderTag, int32_t (*)(settings::ValidatorBuilderHandle)> rulesOwner(
        api.createValidatorBuilder(), api.destroyValidatorBuilder);
    std::unique_ptr<settings::KeyMapperBuilderTag, int32_t (*)(settings::KeyMapperBuilderHandle)> mappingOwner(
        api.createKeyMapperBuilder(), api.destroyKeyMapperBuilder);
    settings::ValidatorBuilderHandle rules = rulesOwner.get();
    settings::KeyMapperBuilderHandle mapping = mappingOwner.get();
    check(registerOptionRules(api, rules, mapping));
    check(api.buildValidator(rules, &validator));
    check(api.buildMappers(mapping, &mappers));
}

InstallerRules::~InstallerRules() {
    api.destroyKeyMapperList(mappers);
    api.destroyValidator(validator);
}

}  // namespace settings_test

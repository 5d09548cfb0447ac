// The installer's option rules, registered through the settings API.
#include "installer_rules.h"

#include <memory>
#include <stdexcept>

namespace settings_test {
namespace {

const char* const FLAG_OPTIONS[] = {
    "INSTALL_SILENT", "STATIC", "AUTO_UPDATE", "SPONSORS", "WEB_ZOLT", "WEB_ANALYTICS", "EULA", "OEMUPDATE",
    "DYNAMICBASELINEOFF", "NO_VERIFY", "REPAIRMODE", "LAUNCHEDFROMTBX", "FAMILYUPGRADE", "RUNONCE", "PIP",
    "REINSTALL_NO_PROMPT", "NOSTARTMENU", "TEST_FINAL_DIALOG", "TEST_PROGRESS_DIALOG", "TEST_WELCOME_DIALOG",
    "TEST_CHANGE_DIALOG", "TEST_SETUPERROR_DIALOG", "TEST_ERRORHELP_DIALOG", "TEST_RETRYSPLASH_DIALOG",
};
const char* const VALUE_OPTIONS[] = {
    "INSTALLDIR", "INSTALLCFG", "/INSTALLDIRPUBPLN", "COUNTRYOVERRIDE", "/installurl", "/installmethod",
    "SPONSORPREF", "ADDLOCAL", "REBOOT", "USAGETRACKER_CFG", "DEPLOYMENT_RULE_SET", "MSI_CMDLINE", "CMDLINE",
};
const char* const NUMBER_OPTIONS[] = {"WEB_ZOLT_SECURITY_LEVEL", "/lang", "TEST_CONFIG_FILE_ERRORS"};
const char* const CHECKED_DIRECTORIES[] = {"INSTALLDIR", "INSTALLCFG", "/INSTALLDIRPUBPLN", "USAGETRACKER_CFG",
                                           "DEPLOYMENT_RULE_SET"};

const settings::FixedValueEntry FLAG_VALUES[] = {{"Enable", 1, 1}, {"Disable", 0, 1}, {"1", 1, 1}, {"0", 0, 1}};
const settings::FixedValueEntry SECURITY_LEVEL_VALUES[] = {{"1", 1, 1}, {"2", 2, 1}, {"3", 3, 1}, {"4", 4, 1},
                                                           {"L", 1, 1}, {"M", 2, 1}, {"H", 3, 1}, {"VH", 4, 1}};

void check(int32_t result) {
    if (result != 0) throw std::runtime_error("settings call failed with " + std::to_string(result));
}

}  // namespace

const char* const INSTALLER_DEFAULT_SETTINGS =
    "INSTALL_SILENT=Disable\nSTATIC=Disable\nAUTO_UPDATE=Enable\nWEB_ANALYTICS=Enable\nEULA=Disable\n"
    "SPONSORS=Enable\nOEMUPDATE=Disable\n";

InstallerRules::InstallerRules(const settings::settings_api& api_) : api(api_) {
    // The builders go with this scope, whether the registrations succeed or not.
    std::unique_ptr<settings::ValidatorBuilderTag, int32_t (*)(settings::ValidatorBuilderHandle)> rulesOwner(
        api.createValidatorBuilder(), api.destroyValidatorBuilder);
    std::unique_ptr<settings::KeyMapperBuilderTag, int32_t (*)(settings::KeyMapperBuilderHandle)> mappingOwner(
        api.createKeyMapperBuilder(), api.destroyKeyMapperBuilder);
    settings::ValidatorBuilderHandle rules = rulesOwner.get();
    settings::KeyMapperBuilderHandle mapping = mappingOwner.get();
    for (const char* name : FLAG_OPTIONS) {
        check(api.setFixedValues(rules, name, FLAG_VALUES, 4));
        check(api.addMapping(mapping, name, name, 0));
    }
    for (const char* name : NUMBER_OPTIONS) {
        check(api.setTypeInt(rules, name));
        check(api.addMapping(mapping, name, name, 0));
    }
    check(api.setFixedValues(rules, "WEB_ZOLT_SECURITY_LEVEL", SECURITY_LEVEL_VALUES, 8));
    for (const char* name : VALUE_OPTIONS) {
        check(api.setTypeDirname(rules, name));
        check(api.addMapping(mapping, name, name, 0));
    }
    for (const char* name : CHECKED_DIRECTORIES) check(api.setDirname(rules, name, 0));
    check(api.setAllowUnknownKeys(rules, 0));
    check(api.buildValidator(rules, &validator));
    check(api.buildMappers(mapping, &mappers));
}

InstallerRules::~InstallerRules() {
    api.destroyKeyMapperList(mappers);
    api.destroyValidator(validator);
}

}  // namespace settings_test

// The installer's option vocabulary: the four name tables, the option descriptor list, value lists and defaults.
#include "installconfig/option_table.h"

#include <cstring>

// clang-format off
const char* const FlagOptions[24] = {
    "INSTALL_SILENT",      "STATIC",          "AUTO_UPDATE",          "SPONSORS",
    "WEB_ZOLT",            "WEB_ANALYTICS",   "EULA",                 "OEMUPDATE",
    "DYNAMICBASELINEOFF",  "NO_VERIFY",       "REPAIRMODE",           "LAUNCHEDFROMTBX",
    "FAMILYUPGRADE",       "RUNONCE",         "PIP",                  "REINSTALL_NO_PROMPT",
    "NOSTARTMENU",         "TEST_FINAL_DIALOG", "TEST_PROGRESS_DIALOG", "TEST_WELCOME_DIALOG",
    "TEST_CHANGE_DIALOG",  "TEST_SETUPERROR_DIALOG", "TEST_ERRORHELP_DIALOG", "TEST_RETRYSPLASH_DIALOG",
};

const char* const ValueOptions[13] = {
    "INSTALLDIR",  "INSTALLCFG", "/INSTALLDIRPUBPLN", "COUNTRYOVERRIDE",  "/installurl",
    "/installmethod", "SPONSORPREF", "ADDLOCAL",      "REBOOT",           "USAGETRACKER_CFG",
    "DEPLOYMENT_RULE_SET", "MSI_CMDLINE", "CMDLINE",
};
// clang-format on

const char* const NumberOptions[4] = {"WEB_ZOLT_SECURITY_LEVEL", "/lang", "TEST_CONFIG_FILE_ERRORS",
                                      "INSTALLER_WAIT"};

const char* const Switches[6] = {"/s", "/h", "-download", "-no_override", "/q", "/l"};

namespace {
constexpr bool Y = true;
constexpr bool N = false;
}  // namespace

// name, exported, forwardedToMsi, msiPassThrough, prefixMatch, checkReadable, plainTextNote, enterpriseOnly
const OptionDescriptor OptionDescriptors[47] = {
    {"INSTALL_SILENT", Y, Y, N, N, N, N, N},
    {"STATIC", N, Y, N, N, N, N, N},
    {"AUTO_UPDATE", Y, Y, N, N, N, N, N},
    {"SPONSORS", Y, Y, N, N, N, N, N},
    {"WEB_ZOLT", N, Y, N, N, N, N, N},
    {"WEB_ANALYTICS", Y, Y, N, N, N, N, N},
    {"EULA", Y, Y, N, N, N, N, N},
    {"OEMUPDATE", N, Y, N, N, N, N, N},
    {"DYNAMICBASELINEOFF", N, N, N, N, N, N, N},
    {"NO_VERIFY", N, N, N, N, N, N, N},
    {"REPAIRMODE", N, Y, N, N, N, N, N},
    {"LAUNCHEDFROMTBX", N, N, N, N, N, N, N},
    {"FAMILYUPGRADE", N, N, N, N, N, N, N},
    {"RUNONCE", N, N, N, N, N, N, N},
    {"PIP", N, Y, N, N, N, N, N},
    {"REINSTALL_NO_PROMPT", N, Y, N, N, N, N, N},
    {"TEST_FINAL_DIALOG", N, N, N, N, N, N, N},
    {"TEST_PROGRESS_DIALOG", N, N, N, N, N, N, N},
    {"TEST_WELCOME_DIALOG", N, N, N, N, N, N, N},
    {"TEST_CHANGE_DIALOG", N, N, N, N, N, N, N},
    {"TEST_SETUPERROR_DIALOG", N, N, N, N, N, N, N},
    {"TEST_ERRORHELP_DIALOG", N, N, N, N, N, N, N},
    {"TEST_RETRYSPLASH_DIALOG", N, N, N, N, N, N, N},
    {"NOSTARTMENU", N, Y, N, N, N, N, N},
    {"INSTALLDIR", N, Y, N, N, N, N, N},
    {"/INSTALLDIRPUBPLN", N, Y, N, N, N, N, N},
    {"INSTALLCFG", N, Y, N, N, N, N, N},
    {"COUNTRYOVERRIDE", N, N, N, N, N, N, N},
    {"/installurl", N, N, N, N, N, N, N},
    {"/installmethod", N, Y, N, N, N, N, N},
    {"SPONSORPREF", N, N, N, N, N, N, N},
    {"ADDLOCAL", N, N, Y, N, N, N, N},
    {"REBOOT", N, N, Y, N, N, N, N},
    {"USAGETRACKER_CFG", N, Y, N, N, Y, Y, Y},
    {"DEPLOYMENT_RULE_SET", N, Y, N, N, Y, N, Y},
    {"MSI_CMDLINE", N, N, N, N, N, N, N},
    {"CMDLINE", N, N, N, N, N, N, N},
    {"WEB_ZOLT_SECURITY_LEVEL", N, Y, N, N, N, N, N},
    {"/lang", N, N, N, N, N, N, N},
    {"TEST_CONFIG_FILE_ERRORS", N, N, N, N, N, N, N},
    {"INSTALLER_WAIT", N, N, N, N, N, N, N},
    {"/s", N, N, N, N, N, N, N},
    {"/h", N, N, N, N, N, N, N},
    {"-download", N, N, N, N, N, N, N},
    {"-no_override", N, N, N, N, N, N, N},
    {"/q", N, N, Y, Y, N, N, N},
    {"/l", N, N, Y, Y, N, N, N},
};

// Flags 1: the text must match in exact letter case.
const settings::FixedValueEntry FLAG_VALUES[4] = {{"Enable", 1, 1}, {"Disable", 0, 1}, {"1", 1, 1}, {"0", 0, 1}};

const settings::FixedValueEntry SECURITY_LEVEL_VALUES[8] = {
    {"1", 1, 1}, {"2", 2, 1}, {"3", 3, 1}, {"4", 4, 1}, {"L", 1, 1}, {"M", 2, 1}, {"H", 3, 1}, {"VH", 4, 1},
};

const char* const CheckedPathOptions[5] = {"INSTALLDIR", "INSTALLCFG", "/INSTALLDIRPUBPLN", "USAGETRACKER_CFG",
                                           "DEPLOYMENT_RULE_SET"};

const char* const DEFAULT_SETTINGS =
    "INSTALL_SILENT=Disable\nSTATIC=Disable\nAUTO_UPDATE=Enable\nWEB_ANALYTICS=Enable\nEULA=Disable\n"
    "SPONSORS=Enable\nOEMUPDATE=Disable\n";

int32_t registerOptionRules(const settings::settings_api& api, settings::ValidatorBuilderHandle rules,
                            settings::KeyMapperBuilderHandle mapping) {
    int32_t r = 0;
    for (const char* name : FlagOptions) {
        if ((r = api.setFixedValues(rules, name, FLAG_VALUES, 4)) || (r = api.addMapping(mapping, name, name, 0)))
            return r;
    }
    for (const char* name : NumberOptions) {
        if ((r = api.setTypeInt(rules, name)) || (r = api.addMapping(mapping, name, name, 0))) return r;
    }
    if ((r = api.setFixedValues(rules, NumberOptions[NUMBER_WEB_ZOLT_SECURITY_LEVEL], SECURITY_LEVEL_VALUES, 8)))
        return r;
    for (const char* name : ValueOptions) {
        if ((r = api.setTypeDirname(rules, name)) || (r = api.addMapping(mapping, name, name, 0))) return r;
    }
    for (const char* name : CheckedPathOptions) {
        if ((r = api.setDirname(rules, name, 0))) return r;
    }
    return api.setAllowUnknownKeys(rules, 0);
}

bool isSwitchName(const char* name) {
    for (const char* s : Switches)
        if (std::strcmp(s, name) == 0) return true;
    return false;
}

int32_t checkOptionRange(const char* name, const char* value) {
    constexpr int32_t kRefused = 3090;
    if (std::strcmp(name, NumberOptions[NUMBER_INSTALLER_WAIT]) != 0) return 0;
    // Plain decimal digits only: the engine reads a leading 0 as octal and ignores what follows a number, so
    // "0600" or "10s" would not wait for what the administrator wrote.
    if (!value || !*value || std::strlen(value) > 5 || (value[0] == '0' && value[1] != '\0')) return kRefused;
    long seconds = 0;
    for (const char* p = value; *p; ++p) {
        if (*p < '0' || *p > '9') return kRefused;
        seconds = seconds * 10 + (*p - '0');
    }
    return seconds <= kInstallerWaitMaxSeconds ? 0 : kRefused;
}

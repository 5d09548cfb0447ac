// The installer's option vocabulary: the four name tables, the option descriptor list, value lists and defaults.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/settings_api.h"

// Getters address options by their index in these tables; the indexes are part of the interface.
extern const char* const FlagOptions[24];
extern const char* const ValueOptions[13];
extern const char* const NumberOptions[4];
extern const char* const Switches[6];

enum FlagOptionIndex {
    FLAG_INSTALL_SILENT = 0,
    FLAG_STATIC = 1,
    FLAG_AUTO_UPDATE = 2,
    FLAG_EULA = 6,
    FLAG_NOSTARTMENU = 16,
};
enum ValueOptionIndex {
    VALUE_INSTALLDIR = 0,
    VALUE_INSTALLCFG = 1,
    VALUE_INSTALLDIRPUBPLN = 2,
    VALUE_ADDLOCAL = 7,
    VALUE_REBOOT = 8,
    VALUE_MSI_CMDLINE = 11,
    VALUE_CMDLINE = 12,
};
enum NumberOptionIndex { NUMBER_WEB_ZOLT_SECURITY_LEVEL = 0, NUMBER_LANG = 1, NUMBER_INSTALLER_WAIT = 3 };

// One row of the option descriptor list: how an option is matched, exported, forwarded and checked.
struct OptionDescriptor {
    const char* name;
    bool exported;         // kept in the export configuration, so it reaches the runtime settings file
    bool forwardedToMsi;   // its exported value goes into CMDLINE for the installer
    bool msiPassThrough;   // the raw argument goes to MSI_CMDLINE (for /l: the next argument is the log path)
    bool prefixMatch;      // an argument matches when it begins with the name; the name is stored
    bool checkReadable;    // its value must name a file that opens for reading
    bool plainTextNote;    // its value is noted as a file to be plain text
    bool enterpriseOnly;   // refused unless the installer is the enterprise edition
};

// The 47 rows in list order: argument lookup, CMDLINE assembly, checks and dumps follow this order.
extern const OptionDescriptor OptionDescriptors[47];
constexpr size_t kOptionDescriptorCount = sizeof OptionDescriptors / sizeof OptionDescriptors[0];

extern const settings::FixedValueEntry FLAG_VALUES[4];
extern const settings::FixedValueEntry SECURITY_LEVEL_VALUES[8];

// The keys that must name a valid absolute path.
extern const char* const CheckedPathOptions[5];

// The built-in defaults, loaded into the working configuration before any other source.
extern const char* const DEFAULT_SETTINGS;

bool isSwitchName(const char* name);

// How long a run waits for another installation's hold on the Windows Installer: seconds, default and limit.
constexpr int32_t kInstallerWaitDefaultSeconds = 600;
constexpr int32_t kInstallerWaitMaxSeconds = 86400;

// The range rule of a numeric option that has one (INSTALLER_WAIT): 0 when `value` is within it or the option
// has no range, else 3090. Portable, like the rules above.
int32_t checkOptionRange(const char* name, const char* value);

// Registers the option rules (value checks and key mapping) on the two builders. Returns 0, or the result of
// the first settings call that failed. Portable: the native tests, the fuzzer and the benchmark use it too.
int32_t registerOptionRules(const settings::settings_api& api, settings::ValidatorBuilderHandle rules,
                            settings::KeyMapperBuilderHandle mapping);

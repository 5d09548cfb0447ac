// Stand-in for the installer configuration; the real InstallConfigData replaces this file.
#include "standin_install_config.h"

#include <shellapi.h>

#include <cstdlib>
#include <stdexcept>

#include "errors.h"
#include "tstrings.h"
#include "win_handles.h"

namespace {

const char* const kValueOptions[] = {"INSTALLDIR", "INSTALLCFG", "/INSTALLDIRPUBPLN", "COUNTRYOVERRIDE",
                                     "/installurl", "/installmethod", "SPONSORPREF", "ADDLOCAL", "REBOOT",
                                     "USAGETRACKER_CFG", "DEPLOYMENT_RULE_SET", "MSI_CMDLINE", "CMDLINE"};
constexpr int kAutoUpdateFlag = 2;

}  // namespace

InstallConfigData::InstallConfigData(HINSTANCE) {}

int InstallConfigData::LoadConfigSettings(const wchar_t* commandLine) {
    int count = 0;
    LocalMemory argv(CommandLineToArgvW(commandLine, &count));
    if (!argv) return 200;
    wchar_t** args = static_cast<wchar_t**>(argv.get());
    for (int i = 1; i < count; ++i) {
        std::string arg = tstrings::toUtf8(args[i]);
        if (tstrings::equalsIgnoreCase(arg, "/s")) {
            options["/s"];
        } else if (tstrings::equalsIgnoreCase(arg, "/l") && i + 1 < count) {
            msiLogFile = tstrings::toUtf8(args[++i]);
        } else {
            for (const char* name : {"INSTALLDIR", "MSI_CMDLINE"}) {
                std::string prefix = std::string(name) + "=";
                if (tstrings::equalsIgnoreCase(arg.substr(0, prefix.size()), prefix))
                    options[name] = arg.substr(prefix.size());
            }
        }
    }
    return 0;
}

bool InstallConfigData::isSilent() const { return isOptionSet("/s"); }

bool InstallConfigData::isOptionSet(const std::string& name) const { return options.count(name) != 0; }

std::string InstallConfigData::getValueAnsi(int index) const {
    if (index < 0 || index >= static_cast<int>(sizeof kValueOptions / sizeof kValueOptions[0]))
        TBX_THROW(std::out_of_range, "no value option " + std::to_string(index));
    auto found = options.find(kValueOptions[index]);
    if (found == options.end()) TBX_THROW(std::runtime_error, std::string("no value for ") + kValueOptions[index]);
    return tstrings::utf8ToAnsi(found->second);
}

bool InstallConfigData::isFlagOn(int index) const { return index == kAutoUpdateFlag; }

bool InstallConfigData::getFlag(int index) const { return index == kAutoUpdateFlag; }

int InstallConfigData::getLanguageId() const { TBX_THROW(std::runtime_error, "no /lang option"); }

std::string InstallConfigData::getMsiLogFile() const { return msiLogFile; }

int InstallConfigData::exportRuntimeConfig() { return 0; }

int InstallConfigData::RestoreConfigSettings() { return 0; }

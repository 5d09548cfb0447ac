// Reading the launcher's arguments into a configuration: matching against the option descriptors,
// the pass-through text for the installer, and the installer log path after /l.
#include <cctype>
#include <cstring>

#include "installconfig/config_log.h"
#include "installconfig/install_config_data.h"
#include "platform/tstrings.h"

namespace {

constexpr const char* kImportArgs = "InstallConfigData::ImportArgsConfigSettings";

std::string lowerC(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

void listBadArgument(std::string& badArguments, const std::string& argument) {
    badArguments += "\"" + argument + "\";";
}

}  // namespace

bool InstallConfigData::matchesArgument(const OptionDescriptor& row, const std::string& argument) {
    size_t separator = argument.find_first_of("=:");
    bool hasSeparator = separator != std::string::npos;
    std::string key = lowerC(hasSeparator ? argument.substr(0, separator) : argument);
    if (hasSeparator == isSwitchName(row.name)) return false;
    std::string name = lowerC(row.name);
    if (row.prefixMatch) return key.compare(0, name.size(), name) == 0;
    return key == name;
}

const OptionDescriptor* InstallConfigData::findDescriptor(const std::string& argument) const {
    for (const OptionDescriptor& row : descriptors)
        if (matchesArgument(row, argument)) return &row;
    return nullptr;
}

int InstallConfigData::ImportArgsConfigSettings(ConfigSlot& slot, const std::vector<std::string>& args, bool silent) {
    TraceScope scope(Logger::instance(), kConfigRecordSource, __LINE__, kImportArgs, kImportArgs);
    logit("...Importing command line arguments");
    slot.allowKeysWithoutValue = true;
    if (args.size() < 2) return 0;

    std::string badArguments;
    std::string passThrough;
    int result = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& argument = args[i];
        if (argument.empty()) continue;
        // One argument is one option: a line break would smuggle further lines into the configuration text.
        const bool oneLine = argument.find_first_of("\r\n") == std::string::npos;
        const OptionDescriptor* row = oneLine ? findDescriptor(argument) : nullptr;
        if (!row) {
            CONFIG_LOG(kImportArgs, LOG_ERROR, tstrings::format("arg %s is not supported", argument.c_str()));
            result = settings::RESULT_TEXT_HAD_ERRORS;
            listBadArgument(badArguments, argument);
            continue;
        }
        if (row->msiPassThrough) {
            if (std::strcmp(row->name, "/l") == 0) {
                if (i + 1 < args.size()) {
                    msiLogFile = args[++i];
                } else {
                    CONFIG_LOG(kImportArgs, LOG_ERROR, tstrings::format("arg %s is incorrect", argument.c_str()));
                    result = settings::RESULT_TEXT_HAD_ERRORS;
                    listBadArgument(badArguments, argument);
                }
                continue;
            }
            passThrough += " " + argument;
        }
        std::string text = row->prefixMatch ? std::string(row->name) : argument;
        int32_t loaded = slot.loadText(text.c_str());
        if (loaded != 0 || !isOptionSet(row->name, slot)) {
            result = loaded != 0 ? loaded : settings::RESULT_TEXT_HAD_ERRORS;
            CONFIG_LOG(kImportArgs, LOG_ERROR,
                       tstrings::format("Loading arg %s failed with %d", argument.c_str(), result));
            listBadArgument(badArguments, argument);
        }
    }
    if (!passThrough.empty()) {
        CONFIG_LOG(kImportArgs, LOG_INFO, "...adding MSICMDLINE to settingsConfig");
        slot.loadText(("MSI_CMDLINE=" + passThrough).c_str());
    }
    if (result != 0) showConfigError(slot, kOptionRefused, badArguments, silent || isSilent());
    return result;
}

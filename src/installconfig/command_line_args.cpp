// Reading the launcher's arguments into a configuration slot: the records, the pass-through text for the
// installer, the installer log path after /l and the one message that lists every bad argument.
#include "installconfig/argument_import.h"
#include "installconfig/config_log.h"
#include "installconfig/config_pipeline.h"
#include "platform/tstrings.h"

namespace {
constexpr const char* kImportArgs = "InstallConfigData::ImportArgsConfigSettings";
}  // namespace

bool ConfigPipeline::matchesArgument(const OptionDescriptor& row, const std::string& argument) {
    return argumentMatchesOption(row, argument);
}

const OptionDescriptor* ConfigPipeline::findDescriptor(const std::string& argument) const {
    return findOptionFor(argument, descriptors.data(), descriptors.size());
}

int ConfigPipeline::ImportArgsConfigSettings(ConfigSlot& slot, const std::vector<std::string>& args, bool silent) {
    TraceScope scope(Logger::instance(), kConfigRecordSource, __LINE__, kImportArgs, kImportArgs);
    logit("...Importing command line arguments");
    slot.allowKeysWithoutValue = true;
    if (args.size() < 2) return 0;

    ArgumentSink sink;
    sink.load = [&slot](const std::string& text) { return slot.loadText(text.c_str()); };
    sink.present = [this, &slot](const char* key) { return isOptionSet(key, slot); };
    sink.report = [](const std::string& error) { CONFIG_LOG(kImportArgs, LOG_ERROR, error); };
    const ArgumentImport imported = importArguments(args, descriptors.data(), descriptors.size(), sink);
    if (imported.logFileGiven) {
        msiLogFile = imported.logFile;
        msiLogModes = imported.logModes;
    }
    if (!imported.passThrough.empty()) {
        CONFIG_LOG(kImportArgs, LOG_INFO, "...adding MSICMDLINE to settingsConfig");
        slot.loadText(("MSI_CMDLINE=" + imported.passThrough).c_str());
    }
    if (imported.result != 0)
        showConfigError(slot, kOptionRefused, imported.badArguments, silent || silentSoFar());
    return imported.result;
}

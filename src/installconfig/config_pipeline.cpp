// The configuration loading pipeline: command line, runtime settings file and install configuration file
// merged into the working, export and backup configurations, then checked.
#include <windows.h>
#include <shellapi.h>

#include <optional>

#include "installconfig/argument_import.h"
#include "installconfig/config_log.h"
#include "installconfig/config_pipeline.h"
#include "installconfig/runtime_settings_trust.h"
#include "platform/errors.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

namespace {

constexpr const char* kLoadConfig = "InstallConfigData::LoadConfigSettings";

}  // namespace

std::optional<std::vector<std::string>> splitCommandLine(const wchar_t* commandLine) {
    std::vector<std::string> args;
    if (!commandLine || !*commandLine) return args;
    int count = 0;
    LocalMemory<LPWSTR*> block(CommandLineToArgvW(commandLine, &count));
    if (!block) {
        const DWORD error = GetLastError();
        CONFIG_LOG(kLoadConfig, LOG_ERROR,
                   tstrings::format("The command line cannot be split into arguments: %s failed with %s",
                                    "CommandLineToArgvW", systemErrorText(error).c_str()));
        return std::nullopt;
    }
    LPWSTR* argv = block.get();
    for (int i = 0; i < count; ++i) args.push_back(tstrings::toUtf8(argv[i]));
    return args;
}

int ConfigPipeline::LoadConfigSettings(const wchar_t* commandLine) {
    const std::optional<std::vector<std::string>> args = splitCommandLine(commandLine);
    if (!args) return settings::RESULT_UNEXPECTED;
    return LoadConfigSettings(*args);
}

int ConfigPipeline::LoadConfigSettings(const std::vector<std::string>& args) {
    loadedArgs = args;
    logit("-->Loading Important args...");
    int result = ImportArgsConfigSettings(workingConfig, args, false);
    if (result != 0) {
        CONFIG_LOG(kLoadConfig, LOG_ERROR, "Error occurred while importing important args. Exiting installer.");
        return result;
    }
    dumpConfig(workingConfig, "Important args config (TMP)");

    std::string installConfigPath;
    if (isOptionSet("INSTALLCFG", workingConfig)) {
        const char* value = nullptr;
        if (const int32_t read = api.getString(workingConfig.config, ValueOptions[VALUE_INSTALLCFG], &value)) {
            CONFIG_LOG(kLoadConfig, LOG_ERROR, "The option INSTALLCFG has no value; it must name a file.");
            return read;
        }
        installConfigPath = value;
        logit(("Path to the install configuration file is set to " + installConfigPath).c_str());
    }

    logit("-->Loading Config...");
    // Every pass reports to the person at the screen: a fault that only a later pass finds (a key without
    // value, which the working configuration accepts) must not end an interactive run without a word.
    const bool silent = silentSoFar();
    result = loadConfigFiles(workingConfig, installConfigPath, args, silent);
    if (result != 0) {
        CONFIG_LOG(kLoadConfig, LOG_ERROR,
                   "Error occurred while importing configuration settings. Exiting installer.");
        return result;
    }

    logit("-->Saving backup...");
    result = ImportRuntimeConfigSettings(backupConfig, silent);
    if (result != 0) {
        CONFIG_LOG(kLoadConfig, LOG_ERROR,
                   "Error occurred while importing runtime file for backup.Exiting installer.");
        return result;
    }
    dumpConfig(backupConfig, "Config to backup");

    logit("-->Loading export config...");
    result = loadConfigFiles(exportConfig, installConfigPath, args, silent);
    if (result != 0) {
        CONFIG_LOG(kLoadConfig, LOG_ERROR,
                   "Error occurred while importing configuration files without defaults. Exiting installer.");
        return result;
    }

    logit("-->Adding CMDLINE to config...");
    std::string forwarded = buildForwardedCommandLine(exportConfig);
    if (!forwarded.empty()) workingConfig.loadText(("CMDLINE=" + forwarded).c_str());

    logit("-->Normalizing Export...");
    normalizeExport(exportConfig);
    dumpConfig(exportConfig, "Config to export");
    dumpConfig(workingConfig, "!!!!Working config!!!!");
    result = optionsReadable(silent);
    if (result == 0) warnAboutUnappliedOptions();
    return result;
}

void ConfigPipeline::warnAboutUnappliedOptions() const {
    for (const EffectiveOption& option : effectiveOptions())
        if (!option.notApplied.empty())
            CONFIG_LOG(kLoadConfig, LOG_WARNING,
                       option.name + "=" + option.value + " from the " + option.source +
                           " is not applied as given: " + option.notApplied + ".");
}

bool ConfigPipeline::silentSoFar() const {
    // A flag without value (a file may leave one) reads as not set here; optionsReadable refuses it at the end.
    int32_t flag = 0;
    const bool silentFlag = isOptionSet(FlagOptions[FLAG_INSTALL_SILENT]) &&
                            api.getInt(workingConfig.config, FlagOptions[FLAG_INSTALL_SILENT], &flag) == 0 && flag;
    return isOptionSet(Switches[SWITCH_SILENT]) || isOptionSet(Switches[SWITCH_DOWNLOAD]) || silentFlag;
}

int ConfigPipeline::optionsReadable(bool silent) {
    // Every option but a switch carries a value: one a file left without value would fail the run's reads later.
    for (const OptionRow& row : descriptors) {
        if (row.kind == OptionKind::Switch || !isOptionSet(row.name, workingConfig)) continue;
        const char* text = nullptr;
        if (api.getString(workingConfig.config, row.name, &text) == 0) continue;
        CONFIG_LOG(kLoadConfig, LOG_ERROR,
                   tstrings::format("The option %s is given without a value; it needs one.", row.name));
        showConfigError(workingConfig, kOptionRefused, std::string("\"") + row.name + "\";", silent);
        return settings::RESULT_NO_VALUE;
    }
    return 0;
}

int ConfigPipeline::loadConfigFiles(ConfigSlot& slot, const std::string& path,
                                       const std::vector<std::string>& args, bool silent) {
    int result = ImportRuntimeConfigSettings(slot, silent);
    if (result == 0 && !path.empty()) result = ImportInstallConfigSettings(slot, path, silent);
    if (result == 0) result = ImportArgsConfigSettings(slot, args, silent);
    if (result == 0) result = CheckParams(slot, silent);
    return result;
}

RuntimeSettingsCheck& ConfigPipeline::runtimeSettingsFile(const char* path) {
    if (!heldRuntimeSettings) heldRuntimeSettings = std::make_unique<RuntimeSettingsCheck>(tstrings::toUtf16(path));
    return *heldRuntimeSettings;
}

const InstallConfigFile& ConfigPipeline::installConfigFile(const std::string& path) {
    if (!heldInstallConfig || heldInstallConfig->path() != path) {
        heldInstallConfig = std::make_unique<InstallConfigFile>(path);
        // The administrator chose the file: the run goes on, but the log says who else could have changed it
        // (its owner first, the likeliest to have planted it) and what that gives them.
        if (!heldInstallConfig->writers().empty()) {
            std::string names;
            for (const std::string& writer : heldInstallConfig->writers()) names += (names.empty() ? "" : ", ") + writer;
            CONFIG_LOG("InstallConfigData::ImportInstallConfigSettings", LOG_WARNING,
                       tstrings::format("The install configuration file %s or its folder may be changed by %s. "
                                        "Whoever changes it chooses the options of this run, the MSI_CMDLINE "
                                        "passed to the installer engine among them.",
                                        path.c_str(), names.c_str()));
        }
    }
    return *heldInstallConfig;
}

int ConfigPipeline::ImportRuntimeConfigSettings(ConfigSlot& slot, bool silent) {
    logit("...Importing runtime configuration file...");
    const char* path = nullptr;
    if (const int32_t found = api.getRuntimeFilePath(slot.config, &path)) {
        CONFIG_LOG("InstallConfigData::ImportRuntimeConfigSettings", LOG_ERROR,
                   tstrings::format("The runtime configuration file's path cannot be built (code %d).", found));
        return found;
    }
    CONFIG_LOG("InstallConfigData::ImportRuntimeConfigSettings", LOG_INFO,
               tstrings::format("Runtime config file path is %s", path));
    // Any local user may create folders and files below the common application-data folder; a file that
    // someone other than SYSTEM or administrators could have written must not reach the elevated engine's
    // command line. It is opened once, checked and read through that handle, and held for the run.
    const RuntimeSettingsCheck& check = runtimeSettingsFile(path);
    if (!check.distrust().empty()) {
        if (!runtimeFileUntrusted)
            CONFIG_LOG("InstallConfigData::ImportRuntimeConfigSettings", LOG_WARNING,
                       tstrings::format("The runtime configuration file %s is not trusted (%s): it is ignored.", path,
                                        check.distrust().c_str()));
        runtimeFileUntrusted = true;
        return 0;
    }
    if (check.readResult() == settings::RESULT_CANNOT_OPEN) {
        logit("Runtime configuration file doesn't exist. It will be created later by settings_api.");
        return 0;
    }
    int32_t result = check.readResult();
    if (result == 0) result = slot.loadText(check.text().c_str());
    if (!showConfigError(slot, result, path, silent))
        CONFIG_LOG("InstallConfigData::ImportRuntimeConfigSettings", LOG_ERROR,
                   tstrings::format("Runtime configuration file import failed with %d: %s %s", result, path,
                                    settingsResultWords(result)));
    return result;
}

int ConfigPipeline::ImportInstallConfigSettings(ConfigSlot& slot, const std::string& path, bool silent) {
    logit("...Importing Install Configuration file");
    if (path.empty()) {
        CONFIG_LOG("InstallConfigData::ImportInstallConfigSettings", LOG_WARNING,
                   "Install Configuration file path is empty. Ignore it and continue installation.");
        return 0;
    }
    // Read once for every pass: the working configuration and the export come from the same bytes.
    const InstallConfigFile& file = installConfigFile(path);
    int32_t result = file.result();
    if (result == 0) result = slot.loadText(file.text().c_str());
    if (!showConfigError(slot, result, path, silent))
        CONFIG_LOG("InstallConfigData::ImportInstallConfigSettings", LOG_ERROR,
                   tstrings::format("Install Configuration file import failed with %d: %s %s", result, path.c_str(),
                                    settingsResultWords(result)));
    return result;
}

int ConfigPipeline::CheckParams(const ConfigSlot& slot, bool silent) {
    TraceScope scope(Logger::instance(), kConfigRecordSource, __LINE__, "InstallConfigData::CheckParams",
                     "InstallConfigData::CheckParams");
    for (const OptionDescriptor& row : descriptors) {
        const char* value = nullptr;
        if (api.getString(slot.config, row.name, &value) != 0) continue;
        int code = CheckParam(row, value);
        if (!showConfigError(slot, code, std::string("\"") + row.name + "\";", silent)) {
            // A known option: its name, and what it takes, rather than the words for an unknown one.
            const std::string why = code == kOptionRefused
                                        ? std::string("of ") + row.name + " is not one it takes; it takes " +
                                              acceptedValues(row)
                                        : settingsResultWords(code);
            CONFIG_LOG("InstallConfigData::CheckParams", LOG_ERROR,
                       tstrings::format("CheckParams(%s) failed with %d: the value %s %s", row.name, code, value,
                                        why.c_str()));
            return code;
        }
    }
    return 0;
}

int ConfigPipeline::CheckParam(const OptionDescriptor& row, const char* value) {
    if (const int32_t outOfRange = checkOptionRange(row, value)) return outOfRange;
    if (row.enterpriseOnly) {
        CONFIG_LOG("InstallConfigData::IsInstallerEnterprise", LOG_INFO,
                   tstrings::format("IsInstallerEnterprise is %d", IsInstallerEnterprise ? 1 : 0));
        if (!IsInstallerEnterprise) {
            CONFIG_LOG("InstallConfigData::CheckParam", LOG_ERROR, "The param is not supported.");
            return kOptionRefused;
        }
    }
    if (!row.checkReadable) return 0;
    CONFIG_LOG("InstallConfigData::CheckParam", LOG_TRACE, "Checking if file is accessible for read...");
    UniqueFile file(CreateFileA(tstrings::utf8ToAnsi(value).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return settings::RESULT_READ_ERROR;
    if (row.plainTextNote)
        CONFIG_LOG("InstallConfigData::CheckParam", LOG_TRACE, "Checking if file is a plain text...");
    return 0;
}

std::string ConfigPipeline::buildForwardedCommandLine(const ConfigSlot& slot) const {
    std::string text;
    for (const OptionDescriptor& row : descriptors) {
        if (!row.forwardedToMsi) continue;
        const char* value = nullptr;
        if (api.getString(slot.config, row.name, &value) != 0) continue;
        text += std::string(" ") + row.name + "=\"" + tstrings::utf8ToAnsi(value) + "\"";
    }
    return text;
}

void ConfigPipeline::normalizeExport(const ConfigSlot& slot) {
    for (const OptionDescriptor& row : descriptors)
        if (!row.exported) api.removeKey(slot.config, row.name);
}

void ConfigPipeline::dumpConfig(const ConfigSlot& slot, const char* title) const {
    std::string text = std::string("|------") + title + "--------|\n\n";
    for (const OptionDescriptor& row : descriptors) {
        const char* value = nullptr;
        int32_t flag = 0;
        if (api.getString(slot.config, row.name, &value) == 0)
            text += std::string(row.name) + " = " + value + "\n";
        else if (api.getBool(slot.config, row.name, &flag) == 0)
            text += std::string(row.name) + " = " + (flag ? "1" : "0") + "\n";
    }
    text += "|-------------------------------------|\n";
    logit(text.c_str());
}

std::vector<EffectiveOption> ConfigPipeline::effectiveOptions() const {
    // Later sources win: the command line over the install configuration file over the runtime settings file
    // over the built-in defaults.
    std::optional<ConfigSlot> fromFile;
    if (heldInstallConfig && heldInstallConfig->result() == 0) {
        fromFile.emplace(api, validator.handle, keyMappers.handle);
        fromFile->allowKeysWithoutValue = true;
        fromFile->loadText(heldInstallConfig->text().c_str());
    }
    std::vector<EffectiveOption> options;
    for (const OptionRow& row : descriptors) {
        if (!isOptionSet(row.name, workingConfig)) continue;
        EffectiveOption option{row.name, "(set)", "built-in default", ""};
        const char* text = nullptr;
        if (api.getString(workingConfig.config, row.name, &text) == 0) option.value = text;
        // MSI_CMDLINE also gathers the arguments the installer takes unchanged.
        const bool gathers = row.kind == OptionKind::Value && row.index == VALUE_MSI_CMDLINE;
        bool onCommandLine = false;
        for (size_t i = 1; i < loadedArgs.size() && !onCommandLine; ++i) {
            const OptionRow* given = findOptionFor(loadedArgs[i], descriptors.data(), descriptors.size());
            onCommandLine = given == &row || (given && gathers && given->msiPassThrough);
        }
        if (onCommandLine)
            option.source = "command line";
        else if (row.kind == OptionKind::Value && row.index == VALUE_CMDLINE)
            option.source = "composed from the options above";
        else if (fromFile && isOptionSet(row.name, *fromFile))
            option.source = "install configuration file";
        else if (isOptionSet(row.name, backupConfig))
            option.source = "runtime settings file";
        const bool fromAFile =
            option.source == "install configuration file" || option.source == "runtime settings file";
        if (row.fromFileOnly && fromAFile)
            option.notApplied = std::string("only the command line passes ") + row.name +
                                " to the installer; from a file " + row.fromFileOnly;
        options.push_back(option);
    }
    return options;
}

// ConfigPipeline: the configuration's loading pipeline, its three configurations and their reads; internal to
// the configuration subsystem and its tests, the flow reads through InstallConfigData.
#pragma once

#ifndef TBX_INSTALLCONFIG_INTERNAL
#error "config_pipeline.h is internal to installconfig; read the configuration through InstallConfigData"
#endif

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "installconfig/config_slot.h"
#include "installconfig/install_config_data.h"
#include "installconfig/install_config_file.h"
#include "installconfig/option_table.h"
#include "installconfig/runtime_settings_trust.h"
#include "settings/settings_api.h"

// What a settings result code means, in words that follow a file or value: "cannot be opened".
const char* settingsResultWords(int32_t code);

class ConfigPipeline {
public:
    // Registers the option rules and loads the defaults; a failing settings call raises settings::Exception.
    explicit ConfigPipeline(HINSTANCE moduleInstance);
    ~ConfigPipeline();
    ConfigPipeline(const ConfigPipeline&) = delete;
    ConfigPipeline& operator=(const ConfigPipeline&) = delete;

    // The whole pipeline over the process's wide command line; 0 or the first failing code.
    int LoadConfigSettings(const wchar_t* commandLine);
    int LoadConfigSettings(const std::vector<std::string>& args);
    // Every option set in the working configuration, with the last source that set it.
    std::vector<EffectiveOption> effectiveOptions() const;
    // A WARNING for each option a file set that the run does not apply as given.
    void warnAboutUnappliedOptions() const;

    // Getters over the working configuration. A failing read raises settings::Exception with its code.
    bool getFlag(int index) const;
    const char* getValue(int index) const;
    std::string getValueAnsi(int index) const;
    int getLanguageId() const;
    // Seconds to wait for another installation's hold on the Windows Installer: INSTALLER_WAIT or 600.
    int getInstallerWaitSeconds() const;
    bool isOptionSet(const char* name) const { return isOptionSet(name, workingConfig); }
    bool isOptionSet(const std::string& name) const { return isOptionSet(name.c_str(), workingConfig); }
    bool isOptionSet(const char* name, const ConfigSlot& slot) const;
    bool isSilent() const;
    // Silent as far as the configuration is loaded, without raising for a flag that has no value.
    bool silentSoFar() const;
    // 0 when every option in the working configuration but a switch has a value, else 301 after its report.
    int optionsReadable(bool silent);
    bool isFlagOn(int index) const;
    std::string getMsiLogFile() const { return msiLogFile; }
    std::string getMsiLogModes() const { return msiLogModes; }

    // Runtime settings file around the installer engine: written before it runs, put back after a failure.
    int exportRuntimeConfig();
    // Before anything is changed on the machine: 0 when the export will be able to write (or delete) the
    // runtime settings file, else 306 after an ERROR record and, unless silent, the message box.
    int checkRuntimeConfigWritable();
    int RestoreConfigSettings();
    int ExportConfigSettings(const ConfigSlot& slot, bool silent);
    // Removes what stopped runs left beside the runtime settings file; the number removed.
    int removeSettingsLeftovers();
    // "/uninstall /removesettings": removes the runtime settings file through the handle the load held it by.
    DWORD removeRuntimeSettingsFile();

    // The pipeline's steps, each 0 or a result code.
    int ImportArgsConfigSettings(ConfigSlot& slot, const std::vector<std::string>& args, bool silent);
    int ImportRuntimeConfigSettings(ConfigSlot& slot, bool silent);
    int ImportInstallConfigSettings(ConfigSlot& slot, const std::string& path, bool silent);
    int loadConfigFiles(ConfigSlot& slot, const std::string& path, const std::vector<std::string>& args,
                        bool silent);
    int CheckParams(const ConfigSlot& slot, bool silent);
    int CheckParam(const OptionDescriptor& row, const char* value);
    std::string buildForwardedCommandLine(const ConfigSlot& slot) const;
    void normalizeExport(const ConfigSlot& slot);
    void dumpConfig(const ConfigSlot& slot, const char* title) const;

    // Logs the message of a result code and shows it unless silent; true only for 0.
    bool showConfigError(const ConfigSlot& slot, int32_t code, const std::string& text, bool silent);
    // Logs the message string `id` formatted with `first` and `second`, and shows it unless silent.
    void showResourceMessage(unsigned id, bool silent, const std::string& first, const std::string& second);

    static bool matchesArgument(const OptionDescriptor& row, const std::string& argument);
    const OptionDescriptor* findDescriptor(const std::string& argument) const;

    // The configurations, for the pipeline's tests.
    ConfigSlot& working() { return workingConfig; }
    ConfigSlot& exported() { return exportConfig; }
    ConfigSlot& backup() { return backupConfig; }

private:
    // Owns a validator or key-mapper list made through the settings API.
    template <class Handle>
    struct ApiOwned {
        using Destroy = int32_t (*)(Handle);
        explicit ApiOwned(Destroy destroy_) : destroy(destroy_) {}
        ~ApiOwned() { destroy(handle); }
        ApiOwned(const ApiOwned&) = delete;
        ApiOwned& operator=(const ApiOwned&) = delete;
        void reset(Handle next) {
            destroy(handle);
            handle = next;
        }
        Handle handle = nullptr;
        Destroy destroy;
    };

    void InitConfig();

    std::vector<OptionDescriptor> descriptors;
    settings::settings_api api;
    ApiOwned<settings::ValidatorHandle> validator;
    ApiOwned<settings::KeyMapperListHandle> keyMappers;
    ConfigSlot workingConfig;
    ConfigSlot exportConfig;
    ConfigSlot backupConfig;
    bool defaultsLoaded = false;
    HINSTANCE moduleInstance;
    bool IsInstallerEnterprise = false;
    std::string msiLogFile;
    std::string msiLogModes;
    // The arguments the configuration was loaded from, for the sources of effectiveOptions.
    std::vector<std::string> loadedArgs;
    // The runtime settings file was found untrusted: it was not read, and is written anew, never in place.
    bool runtimeFileUntrusted = false;
    // The runtime settings file and the install configuration file, each opened once, on first use, and held
    // until the run ends: every pass reads the same bytes, and the export replaces the file it checked.
    RuntimeSettingsCheck& runtimeSettingsFile(const char* path);
    const InstallConfigFile& installConfigFile(const std::string& path);
    std::unique_ptr<RuntimeSettingsCheck> heldRuntimeSettings;
    std::unique_ptr<InstallConfigFile> heldInstallConfig;
    int exportHeldRuntimeConfig();
};

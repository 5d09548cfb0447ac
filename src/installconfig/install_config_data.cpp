// InstallConfigData: the flow's view of the configuration, each question it asks answered from the pipeline.
#include "installconfig/install_config_data.h"

#include "installconfig/config_pipeline.h"

namespace {

std::optional<std::string> ansiValue(const ConfigPipeline& pipeline, ValueOptionIndex index) {
    if (!pipeline.isOptionSet(ValueOptions[index])) return std::nullopt;
    return pipeline.getValueAnsi(index);
}

}  // namespace

InstallConfigData::InstallConfigData(HINSTANCE moduleInstance)
    : pipeline(std::make_unique<ConfigPipeline>(moduleInstance)) {}

InstallConfigData::~InstallConfigData() = default;

int InstallConfigData::LoadConfigSettings(const wchar_t* commandLine) {
    return pipeline->LoadConfigSettings(commandLine);
}

int InstallConfigData::LoadConfigSettings(const std::vector<std::string>& args) {
    return pipeline->LoadConfigSettings(args);
}

int InstallConfigData::checkRuntimeConfigWritable() { return pipeline->checkRuntimeConfigWritable(); }

DWORD InstallConfigData::removeRuntimeSettingsFile() { return pipeline->removeRuntimeSettingsFile(); }
int InstallConfigData::removeSettingsLeftovers() { return pipeline->removeSettingsLeftovers(); }
int InstallConfigData::exportRuntimeConfig() { return pipeline->exportRuntimeConfig(); }
int InstallConfigData::RestoreConfigSettings() { return pipeline->RestoreConfigSettings(); }

bool InstallConfigData::isSilent() const { return pipeline->isSilent(); }

std::optional<LANGID> InstallConfigData::language() const {
    if (!pipeline->isOptionSet(NumberOptions[NUMBER_LANG])) return std::nullopt;
    return static_cast<LANGID>(pipeline->getLanguageId());
}

std::optional<std::string> InstallConfigData::publicRuntimeDir() const {
    return ansiValue(*pipeline, VALUE_INSTALLDIRPUBPLN);
}

std::optional<std::string> InstallConfigData::installDir() const { return ansiValue(*pipeline, VALUE_INSTALLDIR); }

std::optional<std::string> InstallConfigData::installerArguments() const {
    return ansiValue(*pipeline, VALUE_MSI_CMDLINE);
}

bool InstallConfigData::rebootReallySuppressed() const {
    return ansiValue(*pipeline, VALUE_REBOOT) == "ReallySuppress";
}

bool InstallConfigData::startMenuSuppressed() const { return pipeline->isFlagOn(FLAG_NOSTARTMENU); }

bool InstallConfigData::featuresChosen() const { return pipeline->isOptionSet(ValueOptions[VALUE_ADDLOCAL]); }

bool InstallConfigData::autoUpdateOn() const { return pipeline->getFlag(FLAG_AUTO_UPDATE); }

std::string InstallConfigData::installerLogFile() const { return pipeline->getMsiLogFile(); }
std::string InstallConfigData::installerLogModes() const { return pipeline->getMsiLogModes(); }

int InstallConfigData::installerWaitSeconds() const { return pipeline->getInstallerWaitSeconds(); }

bool InstallConfigData::checkAsked() const {
    return pipeline->isOptionSet(Switches[SWITCH_CHECK]) || pipeline->isOptionSet(Switches[SWITCH_CHECK_DASH]);
}

bool InstallConfigData::uninstallAsked() const {
    return pipeline->isOptionSet(Switches[SWITCH_UNINSTALL]) || pipeline->isOptionSet(Switches[SWITCH_UNINSTALL_DASH]);
}

bool InstallConfigData::removeSettingsAsked() const { return pipeline->isOptionSet(Switches[SWITCH_REMOVE_SETTINGS]); }

std::vector<EffectiveOption> InstallConfigData::effectiveOptions() const { return pipeline->effectiveOptions(); }

// ConfigPipeline: construction with the option rules and defaults, and the reads of the working configuration.
#include "installconfig/config_pipeline.h"

#include <stdexcept>

#include "installconfig/config_log.h"
#include "platform/errors.h"
#include "platform/tstrings.h"

namespace {

template <size_t N>
const char* nameAt(const std::array<const char*, N>& table, int index) {
    if (index < 0 || static_cast<size_t>(index) >= N)
        TBX_THROW(std::out_of_range, "option index out of range: " + std::to_string(index));
    return table[index];
}

}  // namespace

ConfigPipeline::ConfigPipeline(HINSTANCE moduleInstance_)
    : api(settings::getSettingsApi()),
      validator(api.destroyValidator),
      keyMappers(api.destroyKeyMapperList),
      workingConfig(api, validator.handle, keyMappers.handle),
      exportConfig(api, validator.handle, keyMappers.handle),
      backupConfig(api, validator.handle, keyMappers.handle),
      moduleInstance(moduleInstance_) {
    TraceScope scope(Logger::instance(), kConfigRecordSource, __LINE__, "InstallConfigData::InstallConfigData",
                     "InstallConfigData::InstallConfigData");
    descriptors.assign(OptionDescriptors, OptionDescriptors + kOptionDescriptorCount);

    ApiOwned<settings::ValidatorBuilderHandle> rules(api.destroyValidatorBuilder);
    ApiOwned<settings::KeyMapperBuilderHandle> mapping(api.destroyKeyMapperBuilder);
    rules.handle = api.createValidatorBuilder();
    mapping.handle = api.createKeyMapperBuilder();
    if (!rules.handle || !mapping.handle) throw settings::Exception(settings::RESULT_UNEXPECTED);

    throwOnSettingsError(registerOptionRules(api, rules.handle, mapping.handle));

    settings::ValidatorHandle builtValidator = nullptr;
    throwOnSettingsError(api.buildValidator(rules.handle, &builtValidator));
    validator.reset(builtValidator);
    settings::KeyMapperListHandle builtMappers = nullptr;
    throwOnSettingsError(api.buildMappers(mapping.handle, &builtMappers));
    keyMappers.reset(builtMappers);

    InitConfig();
}

ConfigPipeline::~ConfigPipeline() { msiLogFile.clear(); }

void ConfigPipeline::InitConfig() {
    if (defaultsLoaded) return;
    throwOnSettingsError(workingConfig.loadText(defaultSettingsText().c_str()));
    defaultsLoaded = true;
    CONFIG_LOG("InstallConfigData::InitConfig", LOG_INFO,
               tstrings::format("Default config settings are: \n%s", defaultSettingsText().c_str()));
}

bool ConfigPipeline::getFlag(int index) const {
    int32_t value = 0;
    throwOnSettingsError(api.getInt(workingConfig.config, nameAt(FlagOptions, index), &value));
    return value != 0;
}

const char* ConfigPipeline::getValue(int index) const {
    const char* value = nullptr;
    throwOnSettingsError(api.getString(workingConfig.config, nameAt(ValueOptions, index), &value));
    return value;
}

std::string ConfigPipeline::getValueAnsi(int index) const { return tstrings::utf8ToAnsi(getValue(index)); }

int ConfigPipeline::getLanguageId() const {
    int32_t value = 0;
    throwOnSettingsError(api.getInt(workingConfig.config, NumberOptions[NUMBER_LANG], &value));
    return value;
}

int ConfigPipeline::getInstallerWaitSeconds() const {
    const OptionRow& row = optionRowAt(OptionKind::Number, NUMBER_INSTALLER_WAIT);
    int32_t value = row.fallback;
    if (isOptionSet(row.name)) throwOnSettingsError(api.getInt(workingConfig.config, row.name, &value));
    return value;
}

bool ConfigPipeline::isOptionSet(const char* name, const ConfigSlot& slot) const {
    const char* text = nullptr;
    if (api.getString(slot.config, name, &text) == 0) return true;
    int32_t flag = 0;
    return api.getBool(slot.config, name, &flag) == 0;
}

bool ConfigPipeline::isSilent() const { return silentSoFar(); }

bool ConfigPipeline::isFlagOn(int index) const {
    return isOptionSet(nameAt(FlagOptions, index)) && getFlag(index);
}

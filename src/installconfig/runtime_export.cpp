// Writing the runtime settings file before the installer engine runs, and putting it back after a failure.
#include "installconfig/config_log.h"
#include "installconfig/config_pipeline.h"
#include "platform/errors.h"
#include "platform/tstrings.h"

namespace {

// The settings engine's answers stay results: 0, or the code the caller returns as it is.
int32_t removeRuntimeFile(const settings::settings_api& api, const ConfigSlot& slot) {
    logit("Removing runtime config file IF EXIST.");
    const char* path = nullptr;
    if (const int32_t result = api.getRuntimeFilePath(slot.config, &path)) return result;
    // A missing file is what we want; a file that cannot be deleted is left as it is.
    DeleteFileW(tstrings::toUtf16(path).c_str());
    return 0;
}

int32_t configsEqual(const settings::settings_api& api, const ConfigSlot& a, const ConfigSlot& b, bool& equal) {
    int32_t answer = 0;
    const int32_t result = api.equals(a.config, b.config, &answer);
    equal = answer != 0;
    return result;
}

int32_t configEmpty(const settings::settings_api& api, const ConfigSlot& slot, bool& empty) {
    int32_t answer = 0;
    const int32_t result = api.isEmpty(slot.config, &answer);
    empty = answer != 0;
    return result;
}

}  // namespace

int ConfigPipeline::exportRuntimeConfig() {
    const int result = exportHeldRuntimeConfig();
    // Held from the load until now, so that nobody could change or block it in between; the engine's run may
    // read it freely.
    if (heldRuntimeSettings) heldRuntimeSettings->releaseFile();
    return result;
}

int ConfigPipeline::exportHeldRuntimeConfig() {
    logit("...Exporting config settings");
    bool same = false;
    bool empty = false;
    if (const int32_t result = configsEqual(api, backupConfig, exportConfig, same)) return result;
    if (same) {
        logit("Nothing new to export to runtime.");
        return 0;
    }
    if (const int32_t result = configEmpty(api, exportConfig, empty)) return result;
    if (!empty) return ExportConfigSettings(exportConfig, false);
    logit("Removing runtime config file IF EXIST.");
    // The file that was checked and held, by its own name; one that cannot be removed is left as it is.
    if (heldRuntimeSettings) heldRuntimeSettings->removeFile();
    return 0;
}

int ConfigPipeline::removeSettingsLeftovers() {
    return heldRuntimeSettings ? heldRuntimeSettings->removeLeftovers() : 0;
}

DWORD ConfigPipeline::removeRuntimeSettingsFile() {
    const char* path = nullptr;
    if (api.getRuntimeFilePath(workingConfig.config, &path) != 0) return ERROR_INVALID_PARAMETER;
    return runtimeSettingsFile(path).removeFile();
}

int ConfigPipeline::checkRuntimeConfigWritable() {
    // An export that changes nothing does not touch the file.
    bool same = false;
    if (const int32_t result = configsEqual(api, backupConfig, exportConfig, same)) return result;
    if (same) return 0;
    const char* path = nullptr;
    if (const int32_t result = api.getRuntimeFilePath(workingConfig.config, &path)) return result;
    // The folders made protected and the new file started: the way every save ends.
    const DWORD error = runtimeSettingsFile(path).prepareExport();
    if (error == ERROR_SUCCESS) return 0;
    const int32_t result = settings::RESULT_INCOMPLETE_WRITE;
    CONFIG_LOG("InstallConfigData::checkRuntimeConfigWritable", LOG_ERROR,
               tstrings::format("The runtime config file %s cannot be written (%s): result %d", path,
                                systemErrorText(error).c_str(), result));
    showConfigError(workingConfig, result, path, isSilent());
    return result;
}

int ConfigPipeline::RestoreConfigSettings() {
    logit("...Restoring config settings");
    bool same = false;
    bool empty = false;
    if (const int32_t result = configsEqual(api, backupConfig, exportConfig, same)) return result;
    if (same) return 0;
    if (const int32_t result = configEmpty(api, backupConfig, empty)) return result;
    if (!empty) return ExportConfigSettings(backupConfig, true);
    if (heldRuntimeSettings) {
        logit("Removing runtime config file IF EXIST.");
        // Through the held folder; a file that cannot be removed is left as it is.
        heldRuntimeSettings->removeFile();
        return 0;
    }
    return removeRuntimeFile(api, workingConfig);
}

int ConfigPipeline::ExportConfigSettings(const ConfigSlot& slot, bool silent) {
    logit("...Exporting config settings");
    bool empty = false;
    if (const int32_t result = configEmpty(api, slot, empty)) return result;
    if (empty) {
        logit("Config is empty: don't do export");
        return 0;
    }
    logit("Writing to the runtime config file.");
    const char* path = nullptr;
    if (const int32_t found = api.getRuntimeFilePath(slot.config, &path)) return found;
    int32_t result = 0;
    if (heldRuntimeSettings) {
        // The file found at the start (held since, so nobody could change or block it) is replaced by a new one
        // with the protected access list, written whole in the held folder first and then given the name in one
        // step, never rewritten in place, which would keep whatever access list it had.
        std::string bytes;
        result = settings::settingsFileText(slot.config, heldRuntimeSettings->replacesExistingFile(), bytes);
        if (result == 0) {
            if (const DWORD code = heldRuntimeSettings->write(bytes)) {
                CONFIG_LOG("InstallConfigData::ExportConfigSettings", LOG_ERROR,
                           tstrings::format("The runtime config file cannot be replaced: %s",
                                            systemErrorText(code).c_str()));
                result = settings::RESULT_INCOMPLETE_WRITE;
            }
        }
    } else {
        result = api.saveFile(slot.config, path);
    }
    if (!showConfigError(slot, result, path, silent || isSilent()))
        CONFIG_LOG("InstallConfigData::ExportConfigSettings", LOG_ERROR, "Fails on writing to the runtime config file.");
    return result;
}

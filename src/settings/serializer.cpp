// The KEY=value serializer, saving a configuration to a settings file, and the runtime settings path.
#include "settings/serializer.h"

#include <stdexcept>

#include "settings/settings_exception.h"
#include "settings/settings_os.h"
#include "settings/wide_text.h"

namespace settings_impl {
namespace {

// A rewritten settings file has always had CR LF line ends.
std::string withCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

}  // namespace

void PlainTextEntrySerializer::writeKey(const char* key) {
    written.append(key).push_back('\n');
}

void PlainTextEntrySerializer::writeEntry(const char* key, const char* value) {
    written.append(key).append(1, '=').append(value).push_back('\n');
}

void writeEntries(const IConfig& config, IConfigEntrySerializer& serializer, bool stopOnError) {
    for (const char* key : config.getKeys()) {
        try {
            if (config.hasValue(key)) {
                serializer.writeEntry(key, config.copyString(key).c_str());
            } else {
                serializer.writeKey(key);
            }
        } catch (const std::exception&) {
            if (stopOnError) throw;
        }
    }
}

std::string settingsFileBytes(const IConfig& config, bool replacing) {
    PlainTextEntrySerializer serializer;
    writeEntries(config, serializer, true);
    std::string text = serializer.text();
    if (text.empty()) text = " ";
    return replacing ? withCrLf(text) : text;
}

void saveConfigFile(const IConfig& config, const FileName& fileName) {
    if (!fileName.isCanonical()) throw std::logic_error("canonicalized file name expected");
    // Serialised first: a configuration that cannot be written creates no folder.
    const std::string text = settingsFileBytes(config, false);
    fileName.createParentDirectories();
    // Whatever stands under the name is replaced, never taken for absent because it cannot be read.
    if (os::entryExists(fileName.wide())) {
        os::replaceSettingsFile(fileName.wide(), withCrLf(text));
    } else {
        os::createNewSettingsFile(fileName.wide(), text);
    }
}

std::string runtimeSettingsPath() {
    return wideToUtf8(os::commonAppDataFolder() + L"\\Vantrel\\Zolt\\zolt.settings.cfg");
}

}  // namespace settings_impl

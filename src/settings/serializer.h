// Writing configurations as KEY=value text, the runtime settings file and its location.
#pragma once

#include <string>

#include "settings/config.h"
#include "settings/file_name.h"

namespace settings_impl {

class IConfigEntrySerializer {
public:
    virtual ~IConfigEntrySerializer() = default;
    virtual void writeKey(const char* key) = 0;
    virtual void writeEntry(const char* key, const char* value) = 0;

    std::string text() const { return written; }

protected:
    std::string written;
};

// "key=value\n" and "key\n"; nothing escaped.
class PlainTextEntrySerializer : public IConfigEntrySerializer {
public:
    void writeKey(const char* key) override;
    void writeEntry(const char* key, const char* value) override;
};

void writeEntries(const IConfig& config, IConfigEntrySerializer& serializer, bool stopOnError);

// The bytes a save writes: every entry, a single space for none, and CR LF line ends when they replace an
// existing file (as a rewritten file has always had), LF for a new one.
std::string settingsFileBytes(const IConfig& config, bool replacing);

// `fileName` must be canonical. A new file gets the settings file's access list and LF line
// ends; an existing one is replaced in one step, keeping its own access list, with CR LF ends.
void saveConfigFile(const IConfig& config, const FileName& fileName);

// The common application-data folder followed by "\Vantrel\Zolt\zolt.settings.cfg", in UTF-8.
std::string runtimeSettingsPath();

}  // namespace settings_impl

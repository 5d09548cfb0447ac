// ConfigBuilder: the parser callback that maps, validates and stores entries.
#pragma once

#include <string>
#include <unordered_map>

#include "settings/config.h"
#include "settings/parser.h"

namespace settings_impl {

class ConfigBuilder : public IConfigParserCallback {
public:
    ConfigBuilder(DescribeCursor describeCursor_, const ConfigValidator* validator_,
                  const KeyMapperList* mappers_, IParserErrorListener* listener_)
        : describeCursor(describeCursor_), validator(validator_), mappers(mappers_), listener(listener_) {}

    bool onComment(const IParserCursor& cursor, const char* text) override;
    int32_t onEntry(const IParserCursor& cursor, const char* key, const char* value) override;
    void onParseError(const IParserCursor& cursor, int32_t code) override;

    // Moves the entries into a new configuration; the builder is left empty.
    ConfigPtr takeConfig();

private:
    void store(ConfigValuePtr value);

    DescribeCursor describeCursor;
    const ConfigValidator* validator;
    const KeyMapperList* mappers;
    IParserErrorListener* listener;
    // Hashed while reading (a file sets few keys many times); ordered when handed over.
    std::unordered_map<std::string, ConfigValuePtr> entries;
    std::string key;  // the current entry's key, kept to reuse its storage
};

}  // namespace settings_impl

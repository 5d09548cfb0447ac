// ConfigBuilder: the parser callback that maps, validates and stores entries.
#pragma once

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
    DescribeCursor describeCursor;
    const ConfigValidator* validator;
    const KeyMapperList* mappers;
    IParserErrorListener* listener;
    ConfigEntries entries;
};

}  // namespace settings_impl

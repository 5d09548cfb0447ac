// ConfigBuilder: maps, validates and stores each parsed entry, and words the error reports.
#include "settings/config_builder.h"

#include "settings/key_mapper.h"
#include "settings/validators.h"

namespace settings_impl {
namespace {

const char* reportText(int32_t code) {
    switch (code) {
    case KeyWithoutValue: return "Key without value";
    case EmptyKey: return "Empty key";
    case InvalidKey: return "Invalid key";
    case InvalidValue: return "Invalid value";
    case InvalidComment: return "Invalid comment";
    default: return "Unknown error";
    }
}

}  // namespace

bool ConfigBuilder::onComment(const IParserCursor&, const char*) { return true; }

int32_t ConfigBuilder::onEntry(const IParserCursor&, const char* rawKey, const char* value) {
    key.assign(rawKey);
    if (mappers) applyKeyMappersInPlace(*mappers, key);
    if (!value) {
        store(nullptr);
        return EntryOk;
    }
    ConfigValuePtr made;
    try {
        made = validator ? validator->validate(key, value) : std::make_unique<ConfigValue>(String, value);
    } catch (const ConfigValidator::InavlidKeyError&) {
        return InvalidKey;
    } catch (const ConfigValidator::InavlidValueError&) {
        return InvalidValue;
    } catch (const settings::Exception&) {
        return InvalidValue;
    }
    store(std::move(made));
    return EntryOk;
}

void ConfigBuilder::store(ConfigValuePtr value) {
    // A file sets few keys many times: look up first, so that only a new key is copied.
    const auto found = entries.find(key);
    if (found != entries.end()) {
        found->second = std::move(value);
    } else {
        entries.emplace(key, std::move(value));
    }
}

void ConfigBuilder::onParseError(const IParserCursor& cursor, int32_t code) {
    if (!listener) return;
    const std::string message =
        std::string("\"") + reportText(code) + "\" at " + describeCursor(cursor);
    listener->onError(cursor, message.c_str());
}

ConfigPtr ConfigBuilder::takeConfig() {
    ConfigEntries taken;
    for (auto& entry : entries) taken.emplace(entry.first, std::move(entry.second));
    entries.clear();
    return createConfig(std::move(taken));
}

}  // namespace settings_impl

// Key mappers and their builder.
#include "settings/key_mapper.h"

namespace settings_impl {
namespace {

char lowerCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Both texts lower-cased byte by byte as in the C locale, then compared; without copies, since
// every key of a file meets every mapper.
bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerCase(a[i]) != lowerCase(b[i])) return false;
    }
    return true;
}

}  // namespace

MappedKey SimpleKeyMapper::mapKey(const std::string& key) const {
    std::string mapped = key;
    const bool matched = mapKeyInPlace(mapped);
    return {std::move(mapped), matched};
}

bool SimpleKeyMapper::mapKeyInPlace(std::string& key) const {
    if (key.size() != fromKey.size()) return false;  // the common case, decided cheaply
    if (key == fromKey || (!caseSensitive && equalIgnoringCase(key, fromKey))) {
        key = toKey;
        return true;
    }
    return false;
}

void KeyMapperBuilder::addMapping(const std::string& fromKey, const std::string& toKey, bool caseSensitive) {
    factories.push_back(std::make_unique<KeyMapperFactory<SimpleKeyMapper>>(fromKey, toKey, caseSensitive));
}

std::unique_ptr<KeyMapperList> KeyMapperBuilder::buildMappers() const {
    auto list = std::make_unique<KeyMapperList>();
    list->mappers.reserve(factories.size());
    for (const auto& factory : factories) {
        list->mappers.push_back(factory->create());
    }
    return list;
}

std::string applyKeyMappers(const KeyMapperList& list, const std::string& key) {
    std::string current = key;
    for (auto it = list.mappers.rbegin(); it != list.mappers.rend(); ++it) {
        if ((*it)->mapKeyInPlace(current)) {
            break;
        }
    }
    return current;
}

}  // namespace settings_impl

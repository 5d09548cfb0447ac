// Key mappers and their builder.
#include "settings/key_mapper.h"

#include <cstdint>

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

// Equal for texts that differ only in the case of ASCII letters.
size_t caseBlindHash(const std::string& text) {
    uint64_t hash = 14695981039346656037ULL;
    for (char c : text) hash = (hash ^ static_cast<unsigned char>(lowerCase(c))) * 1099511628211ULL;
    return static_cast<size_t>(hash);
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
    std::vector<std::vector<const SimpleKeyMapper*>> buckets(list->mappers.empty() ? 0 : 2 * list->mappers.size());
    for (auto it = list->mappers.rbegin(); it != list->mappers.rend(); ++it) {
        const auto* simple = dynamic_cast<const SimpleKeyMapper*>(it->get());
        if (!simple) return list;  // another kind of mapper: no index, every mapper is asked
        buckets[caseBlindHash(simple->fromKey) % buckets.size()].push_back(simple);
    }
    list->buckets = std::move(buckets);
    return list;
}

void applyKeyMappersInPlace(const KeyMapperList& list, std::string& key) {
    if (!list.buckets.empty()) {
        // A mapper matches only a key equal to its own but for case, so only its bucket can hold one.
        for (const SimpleKeyMapper* mapper : list.buckets[caseBlindHash(key) % list.buckets.size()]) {
            if (mapper->mapKeyInPlace(key)) return;
        }
        return;
    }
    for (auto it = list.mappers.rbegin(); it != list.mappers.rend(); ++it) {
        if ((*it)->mapKeyInPlace(key)) return;
    }
}

std::string applyKeyMappers(const KeyMapperList& list, const std::string& key) {
    std::string current = key;
    applyKeyMappersInPlace(list, current);
    return current;
}

}  // namespace settings_impl

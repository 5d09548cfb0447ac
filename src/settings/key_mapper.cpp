// Key mappers and their builder.
#include "key_mapper.h"

namespace settings_impl {
namespace {

std::string lowerCase(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

MappedKey SimpleKeyMapper::mapKey(const std::string& key) const {
    if (key == fromKey || (!caseSensitive && lowerCase(key) == lowerCase(fromKey))) {
        return {toKey, true};
    }
    return {key, false};
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
        MappedKey mapped = (*it)->mapKey(current);
        current = std::move(mapped.key);
        if (mapped.matched) {
            break;
        }
    }
    return current;
}

}  // namespace settings_impl

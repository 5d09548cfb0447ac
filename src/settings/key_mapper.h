// Key mappers: rename keys while a settings text is read.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace settings_impl {

struct MappedKey {
    std::string key;
    bool matched;
};

class IKeyMapper {
public:
    virtual ~IKeyMapper() = default;
    virtual MappedKey mapKey(const std::string& key) const = 0;
    // mapKey on `key` itself; mappers override it to spare the copy of a key they leave alone.
    virtual bool mapKeyInPlace(std::string& key) const {
        MappedKey mapped = mapKey(key);
        key = std::move(mapped.key);
        return mapped.matched;
    }
};

class SimpleKeyMapper : public IKeyMapper {
public:
    SimpleKeyMapper(std::string fromKey_, std::string toKey_, bool caseSensitive_)
        : fromKey(std::move(fromKey_)), toKey(std::move(toKey_)), caseSensitive(caseSensitive_) {}
    MappedKey mapKey(const std::string& key) const override;
    bool mapKeyInPlace(std::string& key) const override;

    std::string fromKey;
    std::string toKey;
    bool caseSensitive;
};

struct KeyMapperList {
    std::vector<std::unique_ptr<IKeyMapper>> mappers;
    // Built by KeyMapperBuilder: the simple mappers by a case-blind hash of their key, each bucket
    // from the last mapper to the first, so that a key meets only the mappers that can match it.
    // Empty: every mapper is asked in turn.
    std::vector<std::vector<const SimpleKeyMapper*>> buckets;
};

class KeyMapperBuilder {
public:
    class IKeyMapperFactory {
    public:
        virtual ~IKeyMapperFactory() = default;
        virtual std::unique_ptr<IKeyMapper> create() const = 0;
    };

    void addMapping(const std::string& fromKey, const std::string& toKey, bool caseSensitive);
    std::unique_ptr<KeyMapperList> buildMappers() const;

private:
    std::vector<std::unique_ptr<IKeyMapperFactory>> factories;
};

template <class Mapper>
class KeyMapperFactory : public KeyMapperBuilder::IKeyMapperFactory {
public:
    KeyMapperFactory(std::string fromKey_, std::string toKey_, bool caseSensitive_)
        : fromKey(std::move(fromKey_)), toKey(std::move(toKey_)), caseSensitive(caseSensitive_) {}
    std::unique_ptr<IKeyMapper> create() const override {
        return std::make_unique<Mapper>(fromKey, toKey, caseSensitive);
    }

    std::string fromKey;
    std::string toKey;
    bool caseSensitive;
};

// The last mapper that matches decides; at most one mapping applies.
std::string applyKeyMappers(const KeyMapperList& list, const std::string& key);
void applyKeyMappersInPlace(const KeyMapperList& list, std::string& key);

}  // namespace settings_impl

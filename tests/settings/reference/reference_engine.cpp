// The settings load path as it was before its speed-up (UTF-8 check, parser, key mappers, validators, the
// entry builder and the API's load operations), kept unchanged as the reference that the differential test
// compares the engine with. Test code only; the values, the configuration model and the file layer are shared.
#include "reference_engine.h"

#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/config.h"
#include "settings/file_name.h"
#include "settings/serializer.h"
#include "settings/settings_exception.h"
#include "settings/settings_os.h"

namespace settings_reference {

using settings_impl::Bool;
using settings_impl::ConfigEntries;
using settings_impl::ConfigPtr;
using settings_impl::ConfigValue;
using settings_impl::ConfigValuePtr;
using settings_impl::Dirname;
using settings_impl::Double;
using settings_impl::ExceptionCode;
using settings_impl::FileName;
using settings_impl::IConfig;
using settings_impl::Int;
using settings_impl::String;
using settings_impl::ValueType;
using settings_impl::configsEqual;
using settings_impl::createConfig;
using settings_impl::createEmptyConfig;
using settings_impl::mergeConfigs;
using settings_impl::removeKey;
using settings_impl::runtimeSettingsPath;
using settings_impl::saveConfigFile;
namespace os = settings_impl::os;


const char* findInvalidUtf8(const char* first, const char* last) {
    const char* p = first;
    while (p != last) {
        const unsigned char lead = static_cast<unsigned char>(*p);
        int continuations;
        if (lead < 0x80) {
            continuations = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            continuations = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            continuations = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            continuations = 3;
        } else if ((lead & 0xFC) == 0xF8) {
            continuations = 4;
        } else if ((lead & 0xFE) == 0xFC) {
            continuations = 5;
        } else {
            return p;  // a continuation byte in lead position, 0xFE or 0xFF
        }
        if (last - p <= continuations) {
            return p;
        }
        for (int i = 1; i <= continuations; ++i) {
            if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) {
                return p;
            }
        }
        p += continuations + 1;
    }
    return last;
}

inline bool isValidUtf8(const std::string& text) {
    return findInvalidUtf8(text.data(), text.data() + text.size()) == text.data() + text.size();
}

// ---- parser (declarations)
class ConfigValidator;
struct KeyMapperList;

// Entry result codes; also the codes of onParseError.
enum EntryCode : int32_t {
    EntryOk = 300,
    KeyWithoutValue = 301,
    EmptyKey = 302,
    InvalidKey = 303,
    InvalidValue = 304,
    InvalidComment = 305,
};

class IParserCursor {
public:
    virtual ~IParserCursor() = default;
};

class IConfigParserCallback {
public:
    virtual ~IConfigParserCallback() = default;
    virtual bool onComment(const IParserCursor& cursor, const char* text) = 0;
    // `value` is null for a key without value.
    virtual int32_t onEntry(const IParserCursor& cursor, const char* key, const char* value) = 0;
    virtual void onParseError(const IParserCursor& cursor, int32_t code) = 0;
};

class IParserErrorListener {
public:
    virtual ~IParserErrorListener() = default;
    virtual void onError(const IParserCursor& cursor, const char* message) = 0;
};

class IConfigParser {
public:
    virtual ~IConfigParser() = default;
    virtual void setValidator(const ConfigValidator* validator) = 0;
    virtual void setKeyMappers(const KeyMapperList* mappers) = 0;
    virtual void setErrorListener(IParserErrorListener* listener) = 0;
    virtual void setStopOnError(bool stop) = 0;
    virtual void setAllowKeysWithoutValue(bool allow) = 0;
    virtual ConfigPtr parse() = 0;
};

using DescribeCursor = std::string (*)(const IParserCursor& cursor);

class PlainTextFileConfigParser : public IConfigParser {
public:
    static const size_t MAX_FILE_TEXT = 1048576;

    class Cursor : public IParserCursor {
    public:
        Cursor(int32_t line_, int32_t column_) : line(line_), column(column_) {}
        int32_t line;    // 0-based
        int32_t column;  // 0-based byte offset of the key or the '#'
    };

    class IBuffer {
    public:
        virtual ~IBuffer() = default;
        virtual void read(std::string& out) = 0;
    };

    explicit PlainTextFileConfigParser(std::unique_ptr<IBuffer> buffer_);

    void setValidator(const ConfigValidator* validator_) override { validator = validator_; }
    void setKeyMappers(const KeyMapperList* mappers_) override { mappers = mappers_; }
    void setErrorListener(IParserErrorListener* listener_) override { listener = listener_; }
    void setStopOnError(bool stop) override { stopOnError = stop; }
    void setAllowKeysWithoutValue(bool allow) override { allowKeysWithoutValue = allow; }
    // Null when stopping on error and an error was counted.
    ConfigPtr parse() override;

    // Runs every line through `callback`; false when the last line run failed.
    static bool parseText(const std::string& text, IConfigParserCallback& callback,
                          bool stopOnError, bool allowKeysWithoutValue);
    static bool parseLine(int32_t lineNumber, const char* first, const char* last,
                          IConfigParserCallback& callback, bool allowKeysWithoutValue);

private:
    const ConfigValidator* validator = nullptr;
    const KeyMapperList* mappers = nullptr;
    IParserErrorListener* listener = nullptr;
    bool stopOnError = true;
    bool allowKeysWithoutValue = false;
    std::unique_ptr<IBuffer> buffer;
};

// "line <n>; char <m>", both 1-based.
std::string describeCursor(const IParserCursor& cursor);

class FileBuffer : public PlainTextFileConfigParser::IBuffer {
public:
    explicit FileBuffer(FileName name_) : name(std::move(name_)) {}
    void read(std::string& out) override;

private:
    FileName name;
};

class StringBuffer : public PlainTextFileConfigParser::IBuffer {
public:
    explicit StringBuffer(std::string text_) : text(std::move(text_)) {}
    void read(std::string& out) override;

private:
    std::string text;
};

class ParserErrorCounter : public IParserErrorListener {
public:
    explicit ParserErrorCounter(IParserErrorListener* next_) : next(next_) {}
    void onError(const IParserCursor& cursor, const char* message) override;

    int32_t count = 0;
    IParserErrorListener* next;
};

// ---- key_mapper (declarations)
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

// ---- validators (declarations)
class IConfigValueValidator {
public:
    virtual ~IConfigValueValidator() = default;
    // `value` may be null (a key without value); the result may be null.
    virtual ConfigValuePtr validate(const char* value) const = 0;
};

struct FixedValue {
    enum Flags : int32_t { MatchCase = 1, UseOwnText = 2 };
    std::string text;
    int32_t value;
    int32_t flags;
};

std::unique_ptr<IConfigValueValidator> createTypeValidator(ValueType type);
std::unique_ptr<IConfigValueValidator> createDirnameValidator(bool skipCheck);
std::unique_ptr<IConfigValueValidator> createFixedValueValidator(std::vector<FixedValue> entries);

class ConfigValidator {
public:
    class Error : public std::runtime_error {
    public:
        Error() : std::runtime_error("") {}
    };
    class InavlidKeyError : public Error {};
    class InavlidValueError : public Error {};

    // `key` is the key after mapping.
    ConfigValuePtr validate(const std::string& key, const char* value) const;

    std::map<std::string, std::unique_ptr<IConfigValueValidator>> validators;
    bool allowUnknownKeys = false;
};

class ConfigValidatorBuilder {
public:
    void setType(const std::string& key, ValueType type);
    void setDirname(const std::string& key, bool skipCheck);
    void setFixedValues(const std::string& key, const std::vector<FixedValue>& list);
    void setAllowUnknownKeys(bool allow) { allowUnknownKeys = allow; }
    std::unique_ptr<ConfigValidator> buildValidator() const;

private:
    std::map<std::string, ValueType> types;
    std::map<std::string, bool> dirnames;
    std::map<std::string, std::vector<FixedValue>> fixedValues;
    bool allowUnknownKeys = false;
};

// ---- config_builder (declarations)
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

// ---- parser
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

const char* trimBlanksRight(const char* first, const char* last) {
    while (last != first && isBlank(last[-1])) --last;
    return last;
}

}  // namespace

std::string describeCursor(const IParserCursor& cursor) {
    const auto& at = static_cast<const PlainTextFileConfigParser::Cursor&>(cursor);
    return "line " + std::to_string(static_cast<int64_t>(at.line) + 1) + "; char " +
           std::to_string(static_cast<int64_t>(at.column) + 1);
}

void FileBuffer::read(std::string& out) {
    std::string text;
    os::readFileText(name.wide(), PlainTextFileConfigParser::MAX_FILE_TEXT, text);
    if (!isValidUtf8(text)) throw settings::Exception(314);
    out.swap(text);
}

void StringBuffer::read(std::string& out) {
    if (!isValidUtf8(text)) throw settings::Exception(314);
    out = text;
}

void ParserErrorCounter::onError(const IParserCursor& cursor, const char* message) {
    ++count;
    if (next) next->onError(cursor, message);
}

PlainTextFileConfigParser::PlainTextFileConfigParser(std::unique_ptr<IBuffer> buffer_)
    : buffer(std::move(buffer_)) {}

ConfigPtr PlainTextFileConfigParser::parse() {
    std::string text;
    if (buffer) buffer->read(text);
    ParserErrorCounter counter(listener);
    ConfigBuilder builder(&describeCursor, validator, mappers, &counter);
    parseText(text, builder, stopOnError, allowKeysWithoutValue);
    if (counter.count > 0 && stopOnError) return nullptr;
    return builder.takeConfig();
}

bool PlainTextFileConfigParser::parseText(const std::string& text, IConfigParserCallback& callback,
                                          bool stopOnError, bool allowKeysWithoutValue) {
    const char* position = text.data();
    const char* const end = text.data() + text.size();
    int32_t lineNumber = 0;
    bool result = true;
    for (;;) {
        const char* lineEnd = position;
        while (lineEnd != end && *lineEnd != '\r' && *lineEnd != '\n') ++lineEnd;
        const bool lastLine = lineEnd == end;
        bool ok;
        try {
            ok = parseLine(lineNumber, position, lineEnd, callback, allowKeysWithoutValue);
        } catch (const settings::Exception&) {
            if (stopOnError) throw;
            ok = false;
        }
        ++lineNumber;
        result = ok;
        if (!ok && stopOnError) return false;
        if (lastLine) return result;
        position = lineEnd + ((*lineEnd == '\r' && lineEnd + 1 != end && lineEnd[1] == '\n') ? 2 : 1);
    }
}

bool PlainTextFileConfigParser::parseLine(int32_t lineNumber, const char* first, const char* last,
                                          IConfigParserCallback& callback, bool allowKeysWithoutValue) {
    const char* p = first;
    while (p != last && isBlank(*p)) ++p;
    if (p == last) return true;
    const Cursor cursor(lineNumber, static_cast<int32_t>(p - first));
    if (*p == '#') {
        if (callback.onComment(cursor, std::string(p, last).c_str())) return true;
        callback.onParseError(cursor, InvalidComment);
        return false;
    }
    const char* separator = p;
    while (separator != last && *separator != '=' && *separator != ':') ++separator;
    if (separator == last) {
        if (!allowKeysWithoutValue) {
            callback.onParseError(cursor, KeyWithoutValue);
            return false;
        }
        callback.onEntry(cursor, std::string(p, trimBlanksRight(p, last)).c_str(), nullptr);
        return true;
    }
    const std::string key(p, trimBlanksRight(p, separator));
    if (key.empty()) {
        callback.onParseError(cursor, EmptyKey);
        return false;
    }
    const char* valueStart = separator + 1;
    while (valueStart != last && isBlank(*valueStart)) ++valueStart;
    const std::string value(valueStart, trimBlanksRight(valueStart, last));
    const int32_t code = callback.onEntry(cursor, key.c_str(), value.c_str());
    if (code == EntryOk) return true;
    callback.onParseError(cursor, code);
    return false;
}

// ---- key_mapper
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

// ---- validators
namespace {

using InavlidValueError = ConfigValidator::InavlidValueError;

class TypeValidator : public IConfigValueValidator {
public:
    explicit TypeValidator(ValueType type_) : type(type_) {}

    ConfigValuePtr validate(const char* value) const override {
        if (!value) {
            if (type == Bool) return nullptr;
            throw InavlidValueError();
        }
        return std::make_unique<ConfigValue>(type, std::string(value));
    }

    ValueType type;
};

class DirnameValidator : public IConfigValueValidator {
public:
    explicit DirnameValidator(bool skipCheck_) : skipCheck(skipCheck_) {}

    ConfigValuePtr validate(const char* value) const override {
        if (!value) throw InavlidValueError();
        if (!skipCheck) {
            bool absolute = false;
            try {
                FileName name(value);
                absolute = FileName::splitComponents(name.utf8()).absolute;
            } catch (const settings::Exception&) {
                throw InavlidValueError();
            }
            if (!absolute) throw InavlidValueError();
        }
        return std::make_unique<ConfigValue>(Dirname, std::string(value));
    }

    bool skipCheck;
};

bool sameTextIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return i == a.size() && !b[i];
}

class FixedValueValidator : public IConfigValueValidator {
public:
    explicit FixedValueValidator(std::vector<FixedValue> entries_) : entries(std::move(entries_)) {}

    ConfigValuePtr validate(const char* value) const override {
        if (!value) throw InavlidValueError();
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            const bool matches = (it->flags & FixedValue::MatchCase) ? it->text == value
                                                                       : sameTextIgnoringCase(it->text, value);
            if (matches) {
                const char* text = (it->flags & FixedValue::UseOwnText) ? it->text.c_str() : value;
                return std::make_unique<ConfigValue>(Int, it->value, text);
            }
        }
        throw InavlidValueError();
    }

    std::vector<FixedValue> entries;
};

}  // namespace

std::unique_ptr<IConfigValueValidator> createTypeValidator(ValueType type) {
    return std::make_unique<TypeValidator>(type);
}

std::unique_ptr<IConfigValueValidator> createDirnameValidator(bool skipCheck) {
    return std::make_unique<DirnameValidator>(skipCheck);
}

std::unique_ptr<IConfigValueValidator> createFixedValueValidator(std::vector<FixedValue> entries) {
    return std::make_unique<FixedValueValidator>(std::move(entries));
}

ConfigValuePtr ConfigValidator::validate(const std::string& key, const char* value) const {
    auto it = validators.find(key);
    if (it != validators.end()) {
        return it->second->validate(value);
    }
    if (allowUnknownKeys) {
        // Keys without value never reach the validator through the builder.
        if (!value) throw InavlidValueError();
        return std::make_unique<ConfigValue>(String, std::string(value));
    }
    throw InavlidKeyError();
}

void ConfigValidatorBuilder::setType(const std::string& key, ValueType type) {
    types[key] = type;
    dirnames.erase(key);
    fixedValues.erase(key);
}

void ConfigValidatorBuilder::setDirname(const std::string& key, bool skipCheck) {
    dirnames[key] = skipCheck;
    types.erase(key);
    fixedValues.erase(key);
}

void ConfigValidatorBuilder::setFixedValues(const std::string& key, const std::vector<FixedValue>& list) {
    std::vector<FixedValue>& known = fixedValues[key];
    for (const FixedValue& entry : list) {
        bool replaced = false;
        for (FixedValue& existing : known) {
            if (existing.text == entry.text) {
                existing.value = entry.value;
                existing.flags = entry.flags;
                replaced = true;
                break;
            }
        }
        if (!replaced) known.push_back(entry);
    }
    types.erase(key);
    dirnames.erase(key);
}

std::unique_ptr<ConfigValidator> ConfigValidatorBuilder::buildValidator() const {
    auto validator = std::make_unique<ConfigValidator>();
    for (const auto& rule : types) {
        if (rule.second == String && allowUnknownKeys) continue;
        validator->validators[rule.first] = createTypeValidator(rule.second);
    }
    for (const auto& rule : dirnames) {
        validator->validators[rule.first] = createDirnameValidator(rule.second);
    }
    for (const auto& rule : fixedValues) {
        validator->validators[rule.first] = createFixedValueValidator(rule.second);
    }
    validator->allowUnknownKeys = allowUnknownKeys;
    return validator;
}

// ---- config_builder
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
    std::string key = mappers ? applyKeyMappers(*mappers, rawKey) : std::string(rawKey);
    if (!value) {
        entries[key] = nullptr;
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
    entries[key] = std::move(made);
    return EntryOk;
}

void ConfigBuilder::onParseError(const IParserCursor& cursor, int32_t code) {
    if (!listener) return;
    const std::string message =
        std::string("\"") + reportText(code) + "\" at " + describeCursor(cursor);
    listener->onError(cursor, message.c_str());
}

ConfigPtr ConfigBuilder::takeConfig() {
    ConfigEntries taken;
    taken.swap(entries);
    return createConfig(std::move(taken));
}

// ---- settings_api
namespace {

class Context : public IParserErrorListener {
public:
    Context() : config(createEmptyConfig()), settingsPath(runtimeSettingsPath()) {}

    void onError(const IParserCursor& cursor, const char* message) override {
        errorLines.push_back(static_cast<const PlainTextFileConfigParser::Cursor&>(cursor).line);
        std::cerr << "Error reading config file: " << message << std::endl;
        throw settings::Exception(313);
    }

    // Stop-on-error leaves the configuration untouched; otherwise the good lines are merged.
    void load(std::unique_ptr<PlainTextFileConfigParser::IBuffer> buffer, const ConfigValidator* validator,
              const KeyMapperList* mappers, bool stopOnError, bool allowKeysWithoutValue) {
        errorLines.clear();
        PlainTextFileConfigParser parser(std::move(buffer));
        parser.setValidator(validator);
        parser.setKeyMappers(mappers);
        parser.setErrorListener(this);
        parser.setStopOnError(stopOnError);
        parser.setAllowKeysWithoutValue(allowKeysWithoutValue);
        ConfigPtr parsed = parser.parse();
        if (parsed) config = mergeConfigs(*config, *parsed);
        if (!errorLines.empty()) throw settings::Exception(313);
    }

    ConfigPtr config;
    std::string settingsPath;
    std::vector<int32_t> errorLines;
};

Context* context(settings::ConfigHandle handle) { return reinterpret_cast<Context*>(handle); }
ConfigValidator* validatorOf(settings::ValidatorHandle handle) { return reinterpret_cast<ConfigValidator*>(handle); }
ConfigValidatorBuilder* builderOf(settings::ValidatorBuilderHandle handle) {
    return reinterpret_cast<ConfigValidatorBuilder*>(handle);
}
KeyMapperList* mappersOf(settings::KeyMapperListHandle handle) { return reinterpret_cast<KeyMapperList*>(handle); }
KeyMapperBuilder* mapperBuilderOf(settings::KeyMapperBuilderHandle handle) {
    return reinterpret_cast<KeyMapperBuilder*>(handle);
}

// Runs `work` and turns whatever leaves it into the result code.
template <class Work>
int32_t guarded(Work&& work) {
    try {
        work();
        return settings::RESULT_OK;
    } catch (const settings::Exception& e) {
        return e.code;
    } catch (...) {
        return settings::RESULT_UNEXPECTED;
    }
}

constexpr int32_t NULL_ARGUMENT = settings::RESULT_NULL_ARGUMENT;

settings::ConfigHandle createContext() {
    try {
        return reinterpret_cast<settings::ConfigHandle>(new Context());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int32_t destroyConfig(settings::ConfigHandle handle) {
    delete context(handle);
    return settings::RESULT_OK;
}

int32_t getRuntimeFilePath(settings::ConfigHandle handle, const char** path) {
    if (!handle || !path) return NULL_ARGUMENT;
    *path = context(handle)->settingsPath.c_str();
    return settings::RESULT_OK;
}

int32_t loadFile(settings::ConfigHandle handle, const char* path, settings::ValidatorHandle validator,
                 settings::KeyMapperListHandle mappers, int32_t stopOnError, int32_t allowKeysWithoutValue) {
    if (!handle || !path) return NULL_ARGUMENT;
    return guarded([&] {
        auto buffer = std::make_unique<FileBuffer>(FileName(path).canonicalize());
        context(handle)->load(std::move(buffer), validatorOf(validator), mappersOf(mappers), stopOnError != 0,
                              allowKeysWithoutValue != 0);
    });
}

int32_t loadText(settings::ConfigHandle handle, const char* text, settings::ValidatorHandle validator,
                 settings::KeyMapperListHandle mappers, int32_t stopOnError, int32_t allowKeysWithoutValue) {
    if (!handle || !text) return NULL_ARGUMENT;
    return guarded([&] {
        context(handle)->load(std::make_unique<StringBuffer>(text), validatorOf(validator), mappersOf(mappers),
                              stopOnError != 0, allowKeysWithoutValue != 0);
    });
}

int32_t merge(settings::ConfigHandle handle, settings::ConfigHandle other) {
    if (!handle || !other) return NULL_ARGUMENT;
    return guarded([&] { context(handle)->config = mergeConfigs(*context(handle)->config, *context(other)->config); });
}

int32_t getErrorLines(settings::ConfigHandle handle, const int32_t** firstLine, int32_t* count) {
    if (!handle || !firstLine || !count) return NULL_ARGUMENT;
    const std::vector<int32_t>& lines = context(handle)->errorLines;
    *firstLine = lines.empty() ? nullptr : lines.data();
    *count = static_cast<int32_t>(lines.size());
    return settings::RESULT_OK;
}

int32_t saveFile(settings::ConfigHandle handle, const char* path) {
    if (!handle || !path) return NULL_ARGUMENT;
    return guarded([&] { saveConfigFile(*context(handle)->config, FileName(path).canonicalize()); });
}

int32_t isEmpty(settings::ConfigHandle handle, int32_t* empty) {
    if (!handle || !empty) return NULL_ARGUMENT;
    return guarded([&] { *empty = context(handle)->config->getKeys().empty() ? 1 : 0; });
}

int32_t equals(settings::ConfigHandle handle, settings::ConfigHandle other, int32_t* equal) {
    if (!handle || !other || !equal) return NULL_ARGUMENT;
    return guarded([&] { *equal = configsEqual(*context(handle)->config, *context(other)->config) ? 1 : 0; });
}

int32_t forEachKey(settings::ConfigHandle handle, settings::KeyCallback callback, void* user) {
    if (!handle || !callback) return NULL_ARGUMENT;
    return guarded([&] {
        // Copies, so that a callback that changes the configuration cannot pull keys away.
        std::vector<std::string> keys;
        for (const char* key : context(handle)->config->getKeys()) keys.emplace_back(key);
        const int32_t count = static_cast<int32_t>(keys.size());
        for (int32_t i = 0; i < count; ++i) callback(handle, count, i, keys[i].c_str(), user);
    });
}

int32_t getString(settings::ConfigHandle handle, const char* key, const char** value) {
    if (!handle || !key || !value) return NULL_ARGUMENT;
    return guarded([&] { *value = context(handle)->config->getString(key); });
}

int32_t getBool(settings::ConfigHandle handle, const char* key, int32_t* value) {
    if (!handle || !key || !value) return NULL_ARGUMENT;
    return guarded([&] {
        const IConfig& config = *context(handle)->config;
        *value = (!config.hasValue(key) || config.getBool(key)) ? 1 : 0;
    });
}

int32_t getInt(settings::ConfigHandle handle, const char* key, int32_t* value) {
    if (!handle || !key || !value) return NULL_ARGUMENT;
    return guarded([&] { *value = context(handle)->config->getInt(key); });
}

int32_t getDouble(settings::ConfigHandle handle, const char* key, double* value) {
    if (!handle || !key || !value) return NULL_ARGUMENT;
    return guarded([&] { *value = context(handle)->config->getDouble(key); });
}

int32_t removeKeyOp(settings::ConfigHandle handle, const char* key) {
    if (!handle || !key) return NULL_ARGUMENT;
    return guarded([&] { context(handle)->config = removeKey(*context(handle)->config, key); });
}

int32_t destroyValidator(settings::ValidatorHandle validator) {
    delete validatorOf(validator);
    return settings::RESULT_OK;
}

settings::ValidatorBuilderHandle createValidatorBuilder() {
    return reinterpret_cast<settings::ValidatorBuilderHandle>(new (std::nothrow) ConfigValidatorBuilder());
}

int32_t destroyValidatorBuilder(settings::ValidatorBuilderHandle builder) {
    delete builderOf(builder);
    return settings::RESULT_OK;
}

int32_t buildValidator(settings::ValidatorBuilderHandle builder, settings::ValidatorHandle* validator) {
    if (!builder || !validator) return NULL_ARGUMENT;
    return guarded([&] {
        *validator = reinterpret_cast<settings::ValidatorHandle>(builderOf(builder)->buildValidator().release());
    });
}

int32_t setTypeOf(settings::ValidatorBuilderHandle builder, const char* key, ValueType type) {
    if (!builder || !key) return NULL_ARGUMENT;
    return guarded([&] { builderOf(builder)->setType(key, type); });
}

int32_t setTypeDirname(settings::ValidatorBuilderHandle b, const char* key) { return setTypeOf(b, key, Dirname); }
int32_t setTypeInt(settings::ValidatorBuilderHandle b, const char* key) { return setTypeOf(b, key, Int); }
int32_t setTypeBool(settings::ValidatorBuilderHandle b, const char* key) { return setTypeOf(b, key, Bool); }
int32_t setTypeDouble(settings::ValidatorBuilderHandle b, const char* key) { return setTypeOf(b, key, Double); }

int32_t setAllowUnknownKeys(settings::ValidatorBuilderHandle builder, int32_t allow) {
    if (!builder) return NULL_ARGUMENT;
    builderOf(builder)->setAllowUnknownKeys(allow != 0);
    return settings::RESULT_OK;
}

int32_t setFixedValues(settings::ValidatorBuilderHandle builder, const char* key,
                       const settings::FixedValueEntry* entries, int32_t count) {
    if (!builder || !key || !entries) return NULL_ARGUMENT;
    for (int32_t i = 0; i < count; ++i) {
        if (!entries[i].text) return NULL_ARGUMENT;
        const int32_t result = guarded([&] {
            builderOf(builder)->setFixedValues(key, {FixedValue{entries[i].text, entries[i].value, entries[i].flags}});
        });
        if (result != settings::RESULT_OK) return result;
    }
    return settings::RESULT_OK;
}

int32_t setDirname(settings::ValidatorBuilderHandle builder, const char* key, int32_t skipCheck) {
    if (!builder || !key) return NULL_ARGUMENT;
    return guarded([&] { builderOf(builder)->setDirname(key, skipCheck != 0); });
}

int32_t destroyKeyMapperList(settings::KeyMapperListHandle mappers) {
    delete mappersOf(mappers);
    return settings::RESULT_OK;
}

settings::KeyMapperBuilderHandle createKeyMapperBuilder() {
    return reinterpret_cast<settings::KeyMapperBuilderHandle>(new (std::nothrow) KeyMapperBuilder());
}

int32_t destroyKeyMapperBuilder(settings::KeyMapperBuilderHandle builder) {
    delete mapperBuilderOf(builder);
    return settings::RESULT_OK;
}

int32_t buildMappers(settings::KeyMapperBuilderHandle builder, settings::KeyMapperListHandle* mappers) {
    if (!builder || !mappers) return NULL_ARGUMENT;
    return guarded([&] {
        *mappers = reinterpret_cast<settings::KeyMapperListHandle>(mapperBuilderOf(builder)->buildMappers().release());
    });
}

int32_t addMapping(settings::KeyMapperBuilderHandle builder, const char* fromKey, const char* toKey,
                   int32_t caseSensitive) {
    if (!builder || !fromKey || !toKey) return NULL_ARGUMENT;
    return guarded([&] { mapperBuilderOf(builder)->addMapping(fromKey, toKey, caseSensitive != 0); });
}

}  // namespace

static void initReferenceApi(settings::settings_api& table) {
    table = settings::settings_api{};
    table.createConfig = &createContext;
    table.destroyConfig = &destroyConfig;
    table.getRuntimeFilePath = &getRuntimeFilePath;
    table.loadFile = &loadFile;
    table.loadText = &loadText;
    table.merge = &merge;
    table.getErrorLines = &getErrorLines;
    table.saveFile = &saveFile;
    table.isEmpty = &isEmpty;
    table.equals = &equals;
    table.forEachKey = &forEachKey;
    table.getString = &getString;
    table.getBool = &getBool;
    table.getInt = &getInt;
    table.getDouble = &getDouble;
    table.removeKey = &removeKeyOp;
    table.destroyValidator = &destroyValidator;
    table.createValidatorBuilder = &createValidatorBuilder;
    table.destroyValidatorBuilder = &destroyValidatorBuilder;
    table.buildValidator = &buildValidator;
    table.setTypeDirname = &setTypeDirname;
    table.setTypeInt = &setTypeInt;
    table.setTypeBool = &setTypeBool;
    table.setTypeDouble = &setTypeDouble;
    table.setAllowUnknownKeys = &setAllowUnknownKeys;
    table.setFixedValues = &setFixedValues;
    table.setDirname = &setDirname;
    table.destroyKeyMapperList = &destroyKeyMapperList;
    table.createKeyMapperBuilder = &createKeyMapperBuilder;
    table.destroyKeyMapperBuilder = &destroyKeyMapperBuilder;
    table.buildMappers = &buildMappers;
    table.addMapping = &addMapping;
}

settings::settings_api getReferenceSettingsApi() {
    settings::settings_api table;
    initReferenceApi(table);
    return table;
}

}  // namespace settings_reference

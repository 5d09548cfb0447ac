// The plain-text KEY=value parser, its buffers, cursor and error reporting interfaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "settings/config.h"
#include "settings/file_name.h"

namespace settings_impl {

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
    // The same on a text it may change: keys, values and comments are terminated in place.
    static bool parseInPlace(std::string& text, IConfigParserCallback& callback, bool stopOnError,
                             bool allowKeysWithoutValue);
    static bool parseLine(int32_t lineNumber, char* first, char* last, IConfigParserCallback& callback,
                          bool allowKeysWithoutValue);

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

}  // namespace settings_impl

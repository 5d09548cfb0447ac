// The plain-text KEY=value parser and its file and string buffers.
#include "settings/parser.h"

#include <cstdint>
#include <cstring>

#include "settings/config_builder.h"
#include "settings/settings_exception.h"
#include "settings/settings_os.h"

namespace settings_impl {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The first CR or LF at or after `p`, or `end`. Lines are short and a file is large: eight bytes
// at a time, looking closer only at a block that holds a byte below 14.
char* findLineBreak(char* p, char* const end) {
    constexpr uint64_t ones = 0x0101010101010101ULL;
    constexpr uint64_t highs = 0x8080808080808080ULL;
    while (end - p >= 8) {
        uint64_t block;
        std::memcpy(&block, p, sizeof(block));
        if ((block - ones * 14) & ~block & highs) {
            for (char* const stop = p + 8; p != stop; ++p) {
                if (*p == '\r' || *p == '\n') return p;
            }
        } else {
            p += 8;
        }
    }
    while (p != end && *p != '\r' && *p != '\n') ++p;
    return p;
}

char* trimBlanksRight(char* first, char* last) {
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
    parseInPlace(text, builder, stopOnError, allowKeysWithoutValue);
    if (counter.count > 0 && stopOnError) return nullptr;
    return builder.takeConfig();
}

bool PlainTextFileConfigParser::parseText(const std::string& text, IConfigParserCallback& callback,
                                          bool stopOnError, bool allowKeysWithoutValue) {
    std::string copy = text;
    return parseInPlace(copy, callback, stopOnError, allowKeysWithoutValue);
}

bool PlainTextFileConfigParser::parseInPlace(std::string& text, IConfigParserCallback& callback,
                                             bool stopOnError, bool allowKeysWithoutValue) {
    char* position = &text[0];
    char* const end = position + text.size();
    int32_t lineNumber = 0;
    bool result = true;
    for (;;) {
        char* const lineEnd = findLineBreak(position, end);
        const bool lastLine = lineEnd == end;
        // Taken before the line is cut into terminated pieces, which may overwrite the break.
        char* const next =
            lastLine ? end : lineEnd + ((*lineEnd == '\r' && lineEnd + 1 != end && lineEnd[1] == '\n') ? 2 : 1);
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
        position = next;
    }
}

// The pieces handed to the callback are terminated in the text itself (at a blank, the separator or
// the line break), so no entry costs a copy. Emptiness is decided on the ranges, before a byte is cut.
bool PlainTextFileConfigParser::parseLine(int32_t lineNumber, char* first, char* last,
                                          IConfigParserCallback& callback, bool allowKeysWithoutValue) {
    char* p = first;
    while (p != last && isBlank(*p)) ++p;
    if (p == last) return true;
    const Cursor cursor(lineNumber, static_cast<int32_t>(p - first));
    if (*p == '#') {
        *last = '\0';
        if (callback.onComment(cursor, p)) return true;
        callback.onParseError(cursor, InvalidComment);
        return false;
    }
    char* separator = p;
    while (separator != last && *separator != '=' && *separator != ':') ++separator;
    if (separator == last) {
        if (!allowKeysWithoutValue) {
            callback.onParseError(cursor, KeyWithoutValue);
            return false;
        }
        *trimBlanksRight(p, last) = '\0';
        callback.onEntry(cursor, p, nullptr);
        return true;
    }
    char* const keyEnd = trimBlanksRight(p, separator);
    if (keyEnd == p) {
        callback.onParseError(cursor, EmptyKey);
        return false;
    }
    char* valueStart = separator + 1;
    while (valueStart != last && isBlank(*valueStart)) ++valueStart;
    *keyEnd = '\0';
    *trimBlanksRight(valueStart, last) = '\0';
    const int32_t code = callback.onEntry(cursor, p, valueStart);
    if (code == EntryOk) return true;
    callback.onParseError(cursor, code);
    return false;
}

}  // namespace settings_impl

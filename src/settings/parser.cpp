// The plain-text KEY=value parser and its file and string buffers.
#include "settings/parser.h"

#include <cstring>

#include "settings/config_builder.h"
#include "settings/settings_exception.h"
#include "settings/settings_os.h"

namespace settings_impl {
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

}  // namespace settings_impl

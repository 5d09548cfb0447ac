// Typed values and the text-to-number conversions they use.
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "settings/config.h"

namespace settings_impl {
namespace {

std::string checkedText(const char* text) {
    std::string copy(text);
    if (!isValidUtf8(copy)) {
        throw ExceptionCode<302>();
    }
    return copy;
}

// Leading space, tab, LF and VT removed, every byte lower-cased as in the C locale.
std::string prepareNumberText(const std::string& text) {
    size_t start = 0;
    while (start < text.size() &&
           (text[start] == ' ' || text[start] == '\t' || text[start] == '\n' || text[start] == '\v')) {
        ++start;
    }
    std::string out = text.substr(start);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool isStreamSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    return 99;
}

// What extracting a signed 32-bit integer from a C-locale stream in `base` gives; characters
// after the number are ignored. Done by hand because a stream per value is slow.
int32_t extractInt(const std::string& text, int base) {
    size_t p = 0;
    while (p < text.size() && isStreamSpace(text[p])) ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    if (base == 16 && p + 1 < text.size() && text[p] == '0' && text[p + 1] == 'x') {
        p += 2;
    }
    const unsigned long long limit = negative ? 2147483648ULL : 2147483647ULL;
    unsigned long long magnitude = 0;
    bool anyDigit = false;
    bool overflow = false;
    for (; p < text.size() && digitValue(text[p]) < base; ++p) {
        anyDigit = true;
        magnitude = magnitude * base + digitValue(text[p]);
        if (magnitude > limit) {
            overflow = true;
            magnitude = limit + 1;  // keeps accumulating bounded
        }
    }
    if (!anyDigit || overflow) {
        throw ExceptionCode<302>();
    }
    return negative ? static_cast<int32_t>(-static_cast<long long>(magnitude))
                    : static_cast<int32_t>(magnitude);
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

int32_t parseInt(const std::string& text) {
    const std::string prepared = prepareNumberText(text);
    int base = 10;
    if (startsWith(prepared, "0x") || startsWith(prepared, "-0x")) {
        base = 16;
    } else if (startsWith(prepared, "0") || startsWith(prepared, "-0")) {
        base = 8;
    }
    return extractInt(prepared, base);
}

// What extracting a double from a C-locale stream gives, without the stream (which would bring the
// whole locale machinery into the launcher): after white space, the longest prefix of the form
// [sign] digits [. digits] [e [sign] digits] is taken, and it must convert completely and in range.
double parseDouble(const std::string& text) {
    const std::string prepared = prepareNumberText(text);
    size_t p = 0;
    while (p < prepared.size() && isStreamSpace(prepared[p])) ++p;
    std::string taken;
    if (p < prepared.size() && (prepared[p] == '+' || prepared[p] == '-')) taken += prepared[p++];
    bool mantissa = false;
    bool point = false;
    for (; p < prepared.size(); ++p) {
        const char c = prepared[p];
        if (c >= '0' && c <= '9') {
            mantissa = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        taken += c;
    }
    if (mantissa && p < prepared.size() && prepared[p] == 'e') {
        taken += prepared[p++];
        if (p < prepared.size() && (prepared[p] == '+' || prepared[p] == '-')) taken += prepared[p++];
        for (; p < prepared.size() && prepared[p] >= '0' && prepared[p] <= '9'; ++p) taken += prepared[p];
    }
    char* stop = nullptr;
    const double value = std::strtod(taken.c_str(), &stop);
    if (taken.empty() || stop != taken.c_str() + taken.size() || std::isinf(value)) {
        throw ExceptionCode<302>();
    }
    return value;
}

bool parseBool(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (lower == "yes" || lower == "true") return true;
    if (lower == "no" || lower == "false") return false;
    return parseInt(text) != 0;
}

ConfigValue::ConfigValue(ValueType type_, std::string text_) : type(type_), doubleValue(0) {
    if (!isValidUtf8(text_)) {
        throw ExceptionCode<302>();
    }
    text = std::move(text_);
    switch (type) {
    case String:
    case Dirname:
        break;
    case Int:
        intValue = parseInt(text);
        break;
    case Bool:
        boolValue = parseBool(text);
        break;
    case Double:
        doubleValue = parseDouble(text);
        break;
    default:
        throw std::runtime_error("unexpected");
    }
}

ConfigValue::ConfigValue(ValueType type_, int32_t number, const char* text_) : type(type_), doubleValue(0) {
    if (type != Int) throw std::runtime_error("unexpected");
    intValue = number;
    text = text_ ? checkedText(text_) : std::to_string(number);
}

ConfigValue::ConfigValue(ValueType type_, bool flag, const char* text_) : type(type_), doubleValue(0) {
    if (type != Bool) throw std::runtime_error("unexpected");
    boolValue = flag;
    text = text_ ? checkedText(text_) : std::string(flag ? "true" : "false");
}

ConfigValue::ConfigValue(ValueType type_, double number, const char* text_) : type(type_), doubleValue(number) {
    if (type != Double) throw std::runtime_error("unexpected");
    if (text_) {
        text = checkedText(text_);
    } else {
        // As a C-locale stream writes it: six significant digits, the shorter of fixed and exponent form.
        char written[32];
        std::snprintf(written, sizeof(written), "%g", number);
        text = written;
    }
}

}  // namespace settings_impl

// UTF-8 <-> wide text for file names; UTF-16 where wchar_t has 16 bits, UTF-32 elsewhere.
#include "settings/wide_text.h"

#include <cstdint>

#include "settings/settings_exception.h"

namespace settings_impl {
namespace {

[[noreturn]] void conversionFailed() { throw settings::Exception(200); }

void appendWide(std::wstring& out, uint32_t cp) {
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(cp));
    }
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Strict: overlong forms, surrogates and code points above U+10FFFF are refused, as the
// system's own converter refuses them. Decodes the code point at `i` and moves past it; false
// when the bytes there are refused.
bool decodeUtf8(std::string_view text, size_t& i, uint32_t& cp) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    int more;
    uint32_t minimum;
    // clang-format off
    if (lead < 0x80) { cp = lead; more = 0; minimum = 0; }
    else if ((lead & 0xE0) == 0xC0) { cp = lead & 0x1F; more = 1; minimum = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { cp = lead & 0x0F; more = 2; minimum = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { cp = lead & 0x07; more = 3; minimum = 0x10000; }
    else return false;
    // clang-format on
    if (text.size() - i <= static_cast<size_t>(more)) return false;
    for (int k = 1; k <= more; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += more + 1;
    return true;
}

}  // namespace

std::wstring utf8ToWide(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        uint32_t cp;
        if (!decodeUtf8(text, i, cp)) conversionFailed();
        appendWide(out, cp);
    }
    return out;
}

bool isConvertibleUtf8(std::string_view text) {
    size_t i = 0;
    uint32_t cp;
    while (i < text.size()) {
        if (!decodeUtf8(text, i, cp)) return false;
    }
    return true;
}

std::string wideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = static_cast<uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= text.size()) conversionFailed();
            const uint32_t low = static_cast<uint32_t>(text[i + 1]);
            if (low < 0xDC00 || low > 0xDFFF) conversionFailed();
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            conversionFailed();
        }
        appendUtf8(out, cp);
    }
    return out;
}

}  // namespace settings_impl

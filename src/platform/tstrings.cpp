// Formatting, conversion and path helpers shared by every subsystem.
#include "platform/tstrings.h"

#include <windows.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>

#include "platform/located_error.h"

namespace tstrings {

std::string format(const char* fmt, ...) {
    if (!fmt) TBX_THROW(std::invalid_argument, "Destination buffer can't be NULL");
    const size_t kStep = 256;
    std::string out(kStep, '\0');
    for (;;) {
        va_list args;
        va_start(args, fmt);
        int n = std::vsnprintf(&out[0], out.size(), fmt, args);
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < out.size()) {
            out.resize(static_cast<size_t>(n));
            return out;
        }
        out.resize(out.size() + kStep);
    }
}

std::string toUtf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int size = static_cast<int>(wide.size());
    int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (needed < 0) TBX_THROW(std::runtime_error, "Unexpected reply from WideCharToMultiByte()");
    if (needed == 0) return std::string();
    std::string out(static_cast<size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &out[0], needed, nullptr, nullptr) != needed)
        TBX_THROW(std::runtime_error, "Unexpected reply from WideCharToMultiByte()");
    return out;
}

std::wstring toUtf16(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int size = static_cast<int>(utf8.size());
    int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (needed < 0) TBX_THROW(std::runtime_error, "Unexpected reply from MultiByteToWideChar()");
    if (needed == 0) return std::wstring();
    std::wstring out(static_cast<size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, &out[0], needed) != needed)
        TBX_THROW(std::runtime_error, "Unexpected reply from MultiByteToWideChar()");
    return out;
}

std::string toAnsi(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int size = static_cast<int>(wide.size());
    int needed = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string out(static_cast<size_t>(needed), '\0');
    int written = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, &out[0], needed, nullptr, nullptr);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
}

std::string utf8ToAnsi(const std::string& utf8) { return toAnsi(toUtf16(utf8)); }

std::string trim(const std::string& text, const std::string& characters) {
    size_t first = text.find_first_not_of(characters);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

void split(const std::string& text, const std::string& delimiter, std::vector<std::string>& out) {
    if (text.empty() || delimiter.empty()) return;
    size_t start = 0;
    for (size_t at; (at = text.find(delimiter, start)) != std::string::npos; start = at + delimiter.size())
        out.push_back(text.substr(start, at - start));
    out.push_back(text.substr(start));
}

std::string toLower(const std::string& text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) { return toLower(a) == toLower(b); }

std::string toString(int32_t value) { return std::to_string(value); }

std::string toString(uint32_t value) { return std::to_string(value); }

namespace {
const char kSeparators[] = "\\/";
}

std::string fileNamePart(const std::string& path) {
    size_t at = path.find_last_of(kSeparators);
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string stripTrailingSeparators(const std::string& path) {
    size_t last = path.find_last_not_of(kSeparators);
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (name.empty()) return dir;
    size_t skip = (name[0] == '\\' || name[0] == '/') ? 1 : 0;
    return stripTrailingSeparators(dir) + "\\" + name.substr(skip);
}

}  // namespace tstrings

// Text plumbing: printf-style formatting, UTF-8/UTF-16/ANSI conversion, text and path helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tstrings {

// printf-style formatting into a string of any length.
std::string format(const char* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));

std::string toUtf8(const std::wstring& wide);
// Invalid UTF-8 gives an empty string.
std::wstring toUtf16(const std::string& utf8);
// UTF-16 to the ANSI code page; unconvertible characters follow the system's default character.
std::string toAnsi(const std::wstring& wide);
std::string utf8ToAnsi(const std::string& utf8);

// The part between the first and the last character not in `characters`.
std::string trim(const std::string& text, const std::string& characters = " \t");
// Appends every piece between delimiters, empty pieces included.
void split(const std::string& text, const std::string& delimiter, std::vector<std::string>& out);
std::string toLower(const std::string& text);
bool equalsIgnoreCase(const std::string& a, const std::string& b);

std::string toString(int32_t value);
std::string toString(uint32_t value);

// Path helpers: both '\' and '/' are separators.
std::string fileNamePart(const std::string& path);
std::string stripTrailingSeparators(const std::string& path);
std::string joinPath(const std::string& dir, const std::string& name);

}  // namespace tstrings

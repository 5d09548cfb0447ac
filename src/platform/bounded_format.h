// Formatting into the fixed buffers of the installer driver, reporting a cut instead of hiding it.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

// Formats into `buf` of `size` characters; false (and an empty buffer) when the result would not fit.
inline bool vformatInto(char* buf, size_t size, const char* fmt, va_list args) {
    if (size == 0) return false;
    int n = std::vsnprintf(buf, size, fmt, args);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        buf[0] = '\0';
        return false;
    }
    return true;
}

inline bool formatInto(char* buf, size_t size, const char* fmt, ...) __attribute__((format(gnu_printf, 3, 4)));
inline bool formatInto(char* buf, size_t size, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    bool ok = vformatInto(buf, size, fmt, args);
    va_end(args);
    return ok;
}

template <size_t N>
bool formatInto(char (&buf)[N], const char* fmt, ...) __attribute__((format(gnu_printf, 2, 3)));
template <size_t N>
bool formatInto(char (&buf)[N], const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    bool ok = vformatInto(buf, N, fmt, args);
    va_end(args);
    return ok;
}

// Appends `text` to the zero-terminated contents of `buf`; false and `buf` unchanged when it would not fit.
inline bool appendInto(char* buf, size_t size, const char* text) {
    size_t used = std::strlen(buf);
    size_t add = std::strlen(text);
    if (used + add + 1 > size) return false;
    std::memcpy(buf + used, text, add + 1);
    return true;
}

template <size_t N>
bool appendInto(char (&buf)[N], const char* text) {
    return appendInto(buf, N, text);
}

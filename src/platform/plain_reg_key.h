// A registry key holder that reports Win32 result codes instead of throwing.
#pragma once

#include <windows.h>

class PlainRegKey {
public:
    PlainRegKey() = default;
    PlainRegKey(const PlainRegKey&) = delete;
    PlainRegKey& operator=(const PlainRegKey&) = delete;
    ~PlainRegKey();

    // The previous key, if any, is closed only after the new one opened.
    LONG Open(HKEY parent, const char* subkey, REGSAM access);
    // Reads a REG_SZ/REG_EXPAND_SZ value into `buffer`; `length` is its capacity on entry and the
    // size including the terminator on return. Any other type, or text without a terminator, gives
    // ERROR_INVALID_DATA.
    LONG QueryStringValue(const char* name, char* buffer, DWORD* length) const;
    LONG DeleteValue(const char* name) const;
    // Deletes a subkey in the registry view this key was opened with.
    LONG DeleteSubKey(const char* subkey) const;
    LONG Close();

    HKEY get() const { return handle; }
    operator HKEY() const { return handle; }

private:
    HKEY handle = nullptr;
    REGSAM viewBits = 0;
};

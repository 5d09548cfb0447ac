// The one owner of a registry key: typed, throwing access in an explicit 32-bit or 64-bit registry view, and
// the plain use that returns Win32 result codes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// "<operation> (<name>) error: <reason>", the text of every registry failure.
std::string registryErrorText(const std::string& operation, const std::string& name, const std::string& reason);
std::string registryErrorText(const std::string& operation, const std::string& name, uint64_t code);

// The throwing use: constructors and typed members throw std::runtime_error with a registryErrorText message.
// The plain use: an empty key (default-constructed) is opened with Open or Create, and the capitalised members
// return the Win32 result instead of throwing. Both uses share the handle and its registry view.
class RegistryKey {
public:
    enum Mode { read = 0, write = 1 };

    // Never closed; keys opened below them inherit their registry view.
    static const RegistryKey localMachine32;
    static const RegistryKey localMachine64;
    static const RegistryKey currentUser32;

    // Holds no key until Open or Create succeeds.
    RegistryKey() : handle(nullptr), owned(false), viewFlags(0) {}
    // Opens `subkey` below `parent`; in write mode a missing key is created.
    RegistryKey(const RegistryKey& parent, const std::string& subkey, Mode mode = read);
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey();

    // True when `subkey` opens for reading.
    static bool exists(const RegistryKey& parent, const std::string& subkey);

    // The raw bytes of a value of any type.
    std::vector<BYTE> queryValue(const std::string& name, DWORD& type) const;
    uint32_t queryDword(const std::string& name) const;
    // REG_SZ or REG_EXPAND_SZ (never expanded); one trailing NUL is dropped.
    std::string queryString(const std::string& name) const;
    // As above, but any failure yields `fallback`.
    std::string queryString(const std::string& name, const std::string& fallback) const;
    std::vector<BYTE> queryBinary(const std::string& name) const;

    void setDword(const std::string& name, uint32_t value) const;
    void setString(const std::string& name, const std::string& text) const;
    void setBinary(const std::string& name, const std::vector<BYTE>& bytes) const;

    std::vector<std::string> enumSubkeys() const;

    // The plain use. `access` carries the registry view; the key held before, if any, is closed only after
    // the new one opened.
    LONG Open(HKEY parent, const char* subkey, REGSAM access);
    // As Open, creating the key when it is missing.
    LONG Create(HKEY parent, const char* subkey, REGSAM access);
    // Reads a REG_SZ/REG_EXPAND_SZ value into `buffer`; `length` is its capacity on entry and the
    // size including the terminator on return. Any other type, or text without a terminator, gives
    // ERROR_INVALID_DATA.
    LONG QueryStringValue(const char* name, char* buffer, DWORD* length) const;
    LONG DeleteValue(const char* name) const;
    // Deletes a subkey in the registry view this key was opened with.
    LONG DeleteSubKey(const char* subkey) const;
    // Closes an owned key now; the key is empty afterwards.
    LONG Close();

    HKEY get() const { return handle; }
    DWORD views() const { return viewFlags; }

private:
    RegistryKey(HKEY root, DWORD views) : handle(root), owned(false), viewFlags(views) {}
    // Takes `opened`, closing what was held before.
    void adopt(HKEY opened, REGSAM access);
    void close();

    HKEY handle;
    bool owned;
    DWORD viewFlags;
};

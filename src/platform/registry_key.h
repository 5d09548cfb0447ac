// Typed, throwing access to one registry key in an explicit 32-bit or 64-bit registry view.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// "<operation> (<name>) error: <reason>", the text of every registry failure.
std::string registryErrorText(const std::string& operation, const std::string& name, const std::string& reason);
std::string registryErrorText(const std::string& operation, const std::string& name, uint64_t code);

// Every failure throws std::runtime_error with a registryErrorText message.
class RegistryKey {
public:
    enum Mode { read = 0, write = 1 };

    // Never closed; keys opened below them inherit their registry view.
    static const RegistryKey localMachine32;
    static const RegistryKey localMachine64;
    static const RegistryKey currentUser32;

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

    HKEY get() const { return handle; }
    DWORD views() const { return viewFlags; }

private:
    RegistryKey(HKEY root, DWORD views) : handle(root), owned(false), viewFlags(views) {}
    void close();

    HKEY handle;
    bool owned;
    DWORD viewFlags;
};

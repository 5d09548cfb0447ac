// The registry key's life and its throwing use: open or create in a fixed view, typed reads and writes, subkey
// enumeration.
#include "platform/registry_key.h"

#include <stdexcept>
#include <utility>

#include "platform/win_handles.h"

namespace {
const DWORD kViewBits = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

[[noreturn]] void fail(const std::string& operation, const std::string& name, LONG code) {
    throw std::runtime_error(registryErrorText(operation, name, static_cast<uint64_t>(static_cast<DWORD>(code))));
}

[[noreturn]] void fail(const std::string& operation, const std::string& name, const char* reason) {
    throw std::runtime_error(registryErrorText(operation, name, std::string(reason)));
}
}  // namespace

std::string registryErrorText(const std::string& operation, const std::string& name, const std::string& reason) {
    return operation + " (" + name + ") error: " + reason;
}

std::string registryErrorText(const std::string& operation, const std::string& name, uint64_t code) {
    return registryErrorText(operation, name, std::to_string(static_cast<unsigned long long>(code)));
}

const RegistryKey RegistryKey::localMachine32(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
const RegistryKey RegistryKey::localMachine64(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
const RegistryKey RegistryKey::currentUser32(HKEY_CURRENT_USER, KEY_WOW64_32KEY);

RegistryKey::RegistryKey(const RegistryKey& parent, const std::string& subkey, Mode mode)
    : handle(nullptr), owned(false), viewFlags(parent.viewFlags & kViewBits) {
    REGSAM access = KEY_READ | viewFlags;
    if (mode == write) access |= KEY_SET_VALUE | KEY_CREATE_SUB_KEY | READ_CONTROL;
    HKEY opened = nullptr;
    LONG result;
    if (mode == write) {
        result = RegCreateKeyExA(parent.handle, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                 nullptr, &opened, nullptr);
    } else {
        result = RegOpenKeyExA(parent.handle, subkey.c_str(), 0, access, &opened);
    }
    if (result != ERROR_SUCCESS) fail("open key", subkey, result);
    handle = opened;
    owned = true;
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : handle(std::exchange(other.handle, nullptr)),
      owned(std::exchange(other.owned, false)),
      viewFlags(other.viewFlags) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        close();
        handle = std::exchange(other.handle, nullptr);
        owned = std::exchange(other.owned, false);
        viewFlags = other.viewFlags;
    }
    return *this;
}

RegistryKey::~RegistryKey() { close(); }

void RegistryKey::close() {
    if (owned) closeRegHandle(handle);
    handle = nullptr;
    owned = false;
}

void RegistryKey::adopt(HKEY opened, REGSAM access) {
    close();
    handle = opened;
    owned = true;
    viewFlags = access & kViewBits;
}

bool RegistryKey::exists(const RegistryKey& parent, const std::string& subkey) {
    try {
        RegistryKey key(parent, subkey, read);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<BYTE> RegistryKey::queryValue(const std::string& name, DWORD& type) const {
    std::vector<BYTE> buffer;
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        LONG result = RegQueryValueExA(handle, name.c_str(), nullptr, &type, buffer.empty() ? nullptr : buffer.data(),
                                       &size);
        if (result == ERROR_MORE_DATA) {
            buffer.resize(size);
            continue;
        }
        if (result != ERROR_SUCCESS) fail("query value", name, result);
        if (!buffer.empty()) {
            if (size < buffer.size()) buffer.resize(size);
            return buffer;
        }
        if (size == 0) return buffer;
        buffer.resize(size);
    }
}

uint32_t RegistryKey::queryDword(const std::string& name) const {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes = queryValue(name, type);
    if (type != REG_DWORD) fail("query dword value", name, "wrong type");
    if (bytes.size() != sizeof(uint32_t)) fail("query dword value", name, "wrong size");
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string RegistryKey::queryString(const std::string& name) const {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes = queryValue(name, type);
    if (type != REG_SZ && type != REG_EXPAND_SZ) fail("query string value", name, "wrong type");
    // Only the one terminator the writer added; data stored without one is taken whole.
    if (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
    return std::string(bytes.begin(), bytes.end());
}

std::string RegistryKey::queryString(const std::string& name, const std::string& fallback) const {
    try {
        return queryString(name);
    } catch (const std::exception&) {
        return fallback;
    }
}

std::vector<BYTE> RegistryKey::queryBinary(const std::string& name) const {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes = queryValue(name, type);
    if (type != REG_BINARY) fail("query binary value", name, "wrong type");
    return bytes;
}

void RegistryKey::setDword(const std::string& name, uint32_t value) const {
    DWORD data = value;
    LONG result = RegSetValueExA(handle, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                 sizeof data);
    if (result != ERROR_SUCCESS) fail("set dword value", name, result);
}

void RegistryKey::setString(const std::string& name, const std::string& text) const {
    LONG result = RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1));
    if (result != ERROR_SUCCESS) fail("set string value", name, result);
}

void RegistryKey::setBinary(const std::string& name, const std::vector<BYTE>& bytes) const {
    LONG result = RegSetValueExA(handle, name.c_str(), 0, REG_BINARY, bytes.empty() ? nullptr : bytes.data(),
                                 static_cast<DWORD>(bytes.size()));
    if (result != ERROR_SUCCESS) fail("set binary value", name, result);
}

std::vector<std::string> RegistryKey::enumSubkeys() const {
    std::vector<std::string> names;
    char name[256] = {};
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        LONG result = RegEnumKeyExA(handle, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) return names;
        if (result != ERROR_SUCCESS) fail("enum subkeys", std::to_string(index + 1), result);
        names.emplace_back(name, length);
    }
}

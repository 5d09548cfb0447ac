// The plain use of the registry key: open, create, read, delete and close, each returning the Win32 result.
#include "platform/registry_key.h"

#include "platform/dll.h"
#include "platform/errors.h"

namespace {
using RegDeleteKeyExAFunction = LONG WINAPI(HKEY, LPCSTR, REGSAM, DWORD);

// Older systems lack RegDeleteKeyExA; looked up once for the process.
RegDeleteKeyExAFunction* regDeleteKeyExA() {
    static RegDeleteKeyExAFunction* const function = []() -> RegDeleteKeyExAFunction* {
        try {
            DllFunction<RegDeleteKeyExAFunction> f(Dll::system("advapi32.dll"), "RegDeleteKeyExA");
            // advapi32 stays loaded for the life of the process, so the address outlives the holder.
            return f.available() ? static_cast<RegDeleteKeyExAFunction*>(f) : nullptr;
        } catch (const std::exception&) {
            return nullptr;
        }
    }();
    return function;
}
}  // namespace

LONG RegistryKey::Open(HKEY parent, const char* subkey, REGSAM access) {
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExA(parent, subkey, 0, access, &opened);
    if (result != ERROR_SUCCESS) return result;
    adopt(opened, access);
    return ERROR_SUCCESS;
}

LONG RegistryKey::Create(HKEY parent, const char* subkey, REGSAM access) {
    HKEY opened = nullptr;
    LONG result =
        RegCreateKeyExA(parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &opened, nullptr);
    if (result != ERROR_SUCCESS) return result;
    adopt(opened, access);
    return ERROR_SUCCESS;
}

LONG RegistryKey::QueryStringValue(const char* name, char* buffer, DWORD* length) const {
    if (!buffer || !length || *length == 0) return ERROR_INVALID_PARAMETER;
    DWORD type = REG_NONE;
    DWORD size = *length;
    LONG result = RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (result != ERROR_SUCCESS) {
        *length = size;
        return result;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    if (size == 0) {
        buffer[0] = '\0';
        *length = 1;
        return ERROR_SUCCESS;
    }
    if (size > *length || buffer[size - 1] != '\0') return ERROR_INVALID_DATA;
    *length = size;
    return ERROR_SUCCESS;
}

LONG RegistryKey::DeleteValue(const char* name) const { return RegDeleteValueA(handle, name); }

LONG RegistryKey::DeleteSubKey(const char* subkey) const {
    if (RegDeleteKeyExAFunction* deleteKeyEx = regDeleteKeyExA()) return deleteKeyEx(handle, subkey, viewFlags, 0);
    return RegDeleteKeyA(handle, subkey);
}

LONG RegistryKey::Close() {
    if (!owned) {
        handle = nullptr;
        return ERROR_SUCCESS;
    }
    LONG result = RegCloseKey(handle);
    handle = nullptr;
    owned = false;
    if (result != ERROR_SUCCESS) logErrorAt(TBX_HERE, "RegCloseKey failed with " + systemErrorText(result));
    return result;
}

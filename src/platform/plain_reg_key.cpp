// The result-code registry key holder used where the driver reads or writes single values.
#include "platform/plain_reg_key.h"

#include "platform/dll.h"
#include "platform/errors.h"
#include "platform/win_handles.h"

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

PlainRegKey::~PlainRegKey() { Close(); }

LONG PlainRegKey::Open(HKEY parent, const char* subkey, REGSAM access) {
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExA(parent, subkey, 0, access, &opened);
    if (result != ERROR_SUCCESS) return result;
    Close();
    handle = opened;
    viewBits = access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    return ERROR_SUCCESS;
}

LONG PlainRegKey::QueryStringValue(const char* name, char* buffer, DWORD* length) const {
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

LONG PlainRegKey::DeleteValue(const char* name) const { return RegDeleteValueA(handle, name); }

LONG PlainRegKey::DeleteSubKey(const char* subkey) const {
    if (RegDeleteKeyExAFunction* deleteKeyEx = regDeleteKeyExA()) return deleteKeyEx(handle, subkey, viewBits, 0);
    return RegDeleteKeyA(handle, subkey);
}

LONG PlainRegKey::Close() {
    if (!handle) return ERROR_SUCCESS;
    LONG result = RegCloseKey(handle);
    handle = nullptr;
    if (result != ERROR_SUCCESS) logErrorAt(TBX_HERE, "RegCloseKey failed with " + systemErrorText(result));
    return result;
}

// Protecting policy values with the Windows data protection API and encoding the result as text.
#include "updatepolicy/protection.h"

#include <wincrypt.h>

#include <stdexcept>

#include "platform/dll.h"
#include "platform/win_handles.h"

namespace au {
namespace {

// crypt32 is not a library the loader always takes from the system folder, so it is not imported: an
// elevated launcher started from a downloads folder would run a crypt32.dll planted beside it before its
// entry point. It is loaded here, from the system folder, when a policy value is protected or read.
template <class Signature>
DllFunction<Signature> crypt32(const char* name) {
    return DllFunction<Signature>(Dll::system("crypt32"), name);
}

// Failures of this store are plain std::runtime_error: the policy operations catch them by that type.
[[noreturn]] void fail(const char* what, DWORD code) {
    throw std::runtime_error(std::string(what) + ", sysError=" + std::to_string(static_cast<unsigned long long>(code)));
}

}  // namespace

std::vector<BYTE> protectValue(uint32_t value, bool machineScope) {
    BYTE plain[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                     static_cast<BYTE>(value >> 24)};
    DATA_BLOB in{sizeof plain, plain};
    DATA_BLOB out{0, nullptr};
    DWORD flags = CRYPTPROTECT_UI_FORBIDDEN | (machineScope ? CRYPTPROTECT_LOCAL_MACHINE : 0);
    auto protect = crypt32<decltype(CryptProtectData)>("CryptProtectData");
    if (!protect(&in, nullptr, nullptr, nullptr, nullptr, flags, &out)) fail("encryption failed", GetLastError());
    LocalMemory<BYTE*> owner(out.pbData);
    return std::vector<BYTE>(out.pbData, out.pbData + out.cbData);
}

uint32_t unprotectValue(const std::vector<BYTE>& bytes) {
    DATA_BLOB in{static_cast<DWORD>(bytes.size()), const_cast<BYTE*>(bytes.data())};
    DATA_BLOB out{0, nullptr};
    auto unprotect = crypt32<decltype(CryptUnprotectData)>("CryptUnprotectData");
    if (!unprotect(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        fail("decryption failed", GetLastError());
    LocalMemory<BYTE*> owner(out.pbData);
    if (out.cbData != 4) throw std::runtime_error("decrypted data has wrong size");
    const BYTE* p = out.pbData;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

std::string binary2string(const std::vector<BYTE>& bytes) {
    if (bytes.empty()) return std::string();
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    auto toText = crypt32<decltype(CryptBinaryToStringA)>("CryptBinaryToStringA");
    DWORD length = 0;
    if (!toText(bytes.data(), static_cast<DWORD>(bytes.size()), flags, nullptr, &length))
        fail("binary2string (phase1) failed", GetLastError());
    std::string text(length, '\0');
    if (!toText(bytes.data(), static_cast<DWORD>(bytes.size()), flags, &text[0], &length))
        fail("binary2string (phase2) failed", GetLastError());
    // The second call reports the length without the terminator.
    text.resize(length);
    return text;
}

std::vector<BYTE> string2binary(const std::string& text) {
    if (text.empty()) return std::vector<BYTE>();
    auto fromText = crypt32<decltype(CryptStringToBinaryA)>("CryptStringToBinaryA");
    DWORD size = 0;
    if (!fromText(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr))
        fail("string2binary (phase1) failed", GetLastError());
    std::vector<BYTE> bytes(size);
    if (!fromText(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, bytes.data(), &size, nullptr,
                  nullptr))
        fail("string2binary (phase2) failed", GetLastError());
    bytes.resize(size);
    return bytes;
}

}  // namespace au

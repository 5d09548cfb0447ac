// Random numbers from BCryptGenRandom, loaded from the system folder.
#include "platform/system_random.h"

#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/dll.h"
#include "platform/errors.h"

namespace {

// bcrypt is not a library the loader always takes from the system folder, so it is loaded from there when
// needed instead of imported: an elevated launcher would otherwise run a bcrypt.dll planted beside it.
void fillRandom(void* buffer, size_t size) {
    DllFunction<decltype(BCryptGenRandom)> genRandom(Dll::system("bcrypt"), "BCryptGenRandom");
    const NTSTATUS status = genRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(size),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status != 0) TBX_THROW(std::runtime_error, "BCryptGenRandom failed with status " + std::to_string(status));
}

}  // namespace

uint32_t systemRandomBelow(uint32_t bound) {
    if (bound == 0) TBX_THROW(std::invalid_argument, "random bound 0");
    // Values from the incomplete last block are drawn again, so every result is equally likely.
    const uint32_t limit = UINT32_MAX - UINT32_MAX % bound;
    uint32_t value = 0;
    do {
        fillRandom(&value, sizeof value);
    } while (value >= limit);
    return value % bound;
}

std::string systemRandomHex(size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    if (bytes) fillRandom(raw.data(), raw.size());
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : raw) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

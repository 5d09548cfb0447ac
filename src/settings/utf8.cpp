// The engine's UTF-8 well-formedness check.
#include <cstdint>
#include <cstring>

#include "settings/config.h"

namespace settings_impl {

const char* findInvalidUtf8(const char* first, const char* last) {
    const char* p = first;
    while (p != last) {
        // Settings text is mostly ASCII: pass eight such bytes at a time.
        while (last - p >= 8) {
            uint64_t block;
            std::memcpy(&block, p, sizeof(block));
            if (block & 0x8080808080808080ULL) break;
            p += 8;
        }
        if (p == last) break;
        const unsigned char lead = static_cast<unsigned char>(*p);
        int continuations;
        if (lead < 0x80) {
            continuations = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            continuations = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            continuations = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            continuations = 3;
        } else if ((lead & 0xFC) == 0xF8) {
            continuations = 4;
        } else if ((lead & 0xFE) == 0xFC) {
            continuations = 5;
        } else {
            return p;  // a continuation byte in lead position, 0xFE or 0xFF
        }
        if (last - p <= continuations) {
            return p;
        }
        for (int i = 1; i <= continuations; ++i) {
            if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) {
                return p;
            }
        }
        p += continuations + 1;
    }
    return last;
}

}  // namespace settings_impl

// Releasing handles and keys without ever throwing.
#include "platform/win_handles.h"

#include <objbase.h>

#include <cstdio>
#include <string>

#include "platform/errors.h"
#include "platform/logger.h"

namespace {
std::string pointerText(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}
}  // namespace

void closeHANDLE(HANDLE handle) {
    if (!handle || handle == INVALID_HANDLE_VALUE) return;
    if (!CloseHandle(handle)) {
        DWORD code = GetLastError();
        TBX_LOG_AS("closeHANDLE", LOG_ERROR,
                   "CloseHandle(" + pointerText(handle) + ") failed with " + systemErrorText(code, nullptr));
    }
}

void closeRegHandle(HKEY key) {
    if (!key) return;
    LONG result = RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        TBX_LOG_AS("closeRegHandle", LOG_ERROR,
                   "RegCloseKey(" + pointerText(key) + ") failed with " +
                       systemErrorText(static_cast<DWORD>(result), nullptr));
    }
}

void closeFindHandle(HANDLE find) {
    if (!find || find == INVALID_HANDLE_VALUE) return;
    if (!FindClose(find)) {
        DWORD code = GetLastError();
        TBX_LOG_AS("closeFindHandle", LOG_ERROR,
                   "FindClose(" + pointerText(find) + ") failed with " + systemErrorText(code, nullptr));
    }
}

void win_handles_detail::freeCoTaskBlock(void* p) { CoTaskMemFree(p); }

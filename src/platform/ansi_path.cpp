// Exact ANSI forms of paths, through the short name where the long one has none.
#include "platform/ansi_path.h"

#include <vector>

bool exactAnsi(const std::wstring& wide, std::string& ansi) {
    ansi.clear();
    if (wide.empty()) return true;
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) return false;
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), &text[0], size,
                        nullptr, &usedDefault);
    if (usedDefault) return false;
    // Back again: a code page that maps two wide characters to one byte sequence is not exact either.
    const int back = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (back <= 0) return false;
    std::wstring roundTrip(static_cast<size_t>(back), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, &roundTrip[0], back);
    if (roundTrip != wide) return false;
    ansi.swap(text);
    return true;
}

AnsiPath ansiPathOf(const std::wstring& wide, ShortPathFunction shortPath) {
    AnsiPath result;
    if (exactAnsi(wide, result.path)) {
        result.form = AnsiPathForm::Exact;
        result.wide = wide;
        return result;
    }
    const DWORD needed = shortPath(wide.c_str(), nullptr, 0);
    if (needed == 0) return AnsiPath();
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    const DWORD length = shortPath(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return AnsiPath();
    std::wstring shortName(buffer.data(), length);
    if (shortName == wide || !exactAnsi(shortName, result.path)) return AnsiPath();
    result.form = AnsiPathForm::ShortName;
    result.wide = shortName;
    return result;
}

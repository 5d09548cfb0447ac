// Writing text to the launcher's standard output or its parent's console.
#include "launcher/console_output.h"

#include <windows.h>

#include "platform/win_handles.h"

namespace {

// A console wants carriage returns before line feeds; so does a file an administrator opens in Notepad.
std::string withCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

bool writeAll(HANDLE to, const std::string& text) {
    DWORD written = 0;
    return WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

}  // namespace

bool writeToConsole(const std::string& text) {
    const HANDLE given = GetStdHandle(STD_OUTPUT_HANDLE);
    if (given && given != INVALID_HANDLE_VALUE && GetFileType(given) != FILE_TYPE_UNKNOWN &&
        writeAll(given, withCrLf(text)))
        return true;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    UniqueFile console(CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    const bool written = console && writeAll(console.get(), withCrLf("\n" + text));
    FreeConsole();
    return written;
}

bool writeToStandardError(const std::string& text) {
    const HANDLE given = GetStdHandle(STD_ERROR_HANDLE);
    return given && given != INVALID_HANDLE_VALUE && GetFileType(given) != FILE_TYPE_UNKNOWN &&
           writeAll(given, withCrLf(text));
}

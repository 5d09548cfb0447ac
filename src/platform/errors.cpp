// Error texts, the system error exception and the catch-site loggers.
#include "platform/errors.h"

#include <cstdio>

#include "platform/logger.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

std::string joinErrorMessages(const std::string& message, const std::string& detail) {
    static const char kWhite[] = " \t\r\n\f\v";
    std::string out;
    size_t last = message.find_last_not_of(kWhite);
    size_t separatorAt = 0;
    if (last != std::string::npos) {
        out = message.substr(0, last + 1);
        separatorAt = out.size();
        out += std::string(";.,:!?").find(out.back()) != std::string::npos ? " " : ". ";
    }
    size_t first = detail.find_first_not_of(kWhite);
    if (first == std::string::npos) {
        out.erase(separatorAt);
        return out;
    }
    return out + detail.substr(first, detail.find_last_not_of(kWhite) - first + 1);
}

std::string describeSystemError(DWORD code, HMODULE module) {
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    if (module) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    LocalMemory<LPWSTR> raw;
    // With ALLOCATE_BUFFER the buffer argument is where the call stores the text it allocated.
    DWORD n = FormatMessageW(flags, module, code, 0, reinterpret_cast<LPWSTR>(raw.receive()), 0, nullptr);
    if (n == 0 || !raw) return "No description available";

    std::wstring text(raw.get(), n);
    for (wchar_t& c : text)
        if (c < 0x20) c = L' ';
    size_t keep = text.size();
    while (keep > 1 && (text[keep - 1] <= L' ' || text[keep - 1] == L'.')) --keep;
    text.resize(keep);
    return tstrings::toUtf8(text);
}

std::string systemErrorText(DWORD code, HMODULE module) {
    return "system error " + tstrings::toString(static_cast<uint32_t>(code)) + " (" +
           describeSystemError(code, module) + ")";
}

std::string comErrorText(HRESULT hr) {
    DWORD value = static_cast<DWORD>(hr);
    DWORD described = (value & 0x1FFF0000u) >> 16 == FACILITY_WIN32 ? (value & 0xFFFFu) : value;
    return tstrings::format("COM error 0x%08X (%s)", static_cast<unsigned>(value),
                            describeSystemError(described, nullptr).c_str());
}

namespace {

std::string makeMessage(const std::string& context, const void* address, DWORD code) {
    std::string text = "System error [" + tstrings::toString(static_cast<uint32_t>(code)) + "]";
    if (address) {
        HMODULE module = nullptr;
        if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                static_cast<LPCSTR>(address), &module)) {
            module = nullptr;
            char pointer[32];
            std::snprintf(pointer, sizeof pointer, "%p", address);
            TBX_LOG(LOG_WARNING, std::string("GetModuleHandleEx() failed for ") + pointer + " address.");
        }
        text += "(" + systemErrorText(code, module) + ")";
    }
    return joinErrorMessages(context, text);
}

}  // namespace

SysError::SysError(const std::string& context, const void* address, DWORD code)
    : std::runtime_error(makeMessage(context, address, code)) {}

void logErrorAt(const SourceLocation& where, const std::string& message) {
    writeLogRecord(Logger::instance(), LOG_ERROR, tstrings::fileNamePart(where.file ? where.file : "").c_str(),
                   static_cast<unsigned>(where.line), where.func.c_str(), message.c_str());
}

void logCaughtException(const SourceLocation& where, const std::exception& e) {
    logErrorAt(where, std::string("Exception with message '") + e.what() + "' caught");
}

void logUnknownException(const SourceLocation& where) {
    logErrorAt(where, "Unknown exception caught");
}

namespace {
constexpr int kFailureWithoutCode = 1627;  // ERROR_FUNCTION_FAILED
}  // namespace

int reportSystemError(const char* what, DWORD code, const Prompter& prompter) {
    char description[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), description, sizeof description, nullptr);
    // A report, not a command: a description cut to the buffer loses nothing that matters.
    char text[2048];
    std::snprintf(text, sizeof text, "%s failed with error %d: %s", what, static_cast<int>(code), description);
    logErrorAt(TBX_HERE, text);
    // No one can dismiss a box in an unattended run (it may be running in session 0): the record is the report.
    prompter.show(text, "Error", MB_OK);
    return code != 0 ? static_cast<int>(code) : kFailureWithoutCode;
}

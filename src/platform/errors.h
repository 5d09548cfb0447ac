// Exceptions that carry the location of their raise site, and the texts that describe system errors.
#pragma once

#include <windows.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/located_error.h"
#include "platform/source_location.h"

// A failed Win32 call: the text names the context, the code and the system's description.
class SysError : public std::runtime_error {
public:
    SysError(const std::string& context, const void* address, DWORD code);
    ~SysError() override = default;
};

std::string joinErrorMessages(const std::string& message, const std::string& detail);
std::string describeSystemError(DWORD code, HMODULE module);
std::string systemErrorText(DWORD code, HMODULE module = nullptr);
std::string comErrorText(HRESULT hr);

void logErrorAt(const SourceLocation& where, const std::string& message);
void logCaughtException(const SourceLocation& where, const std::exception& e);
void logUnknownException(const SourceLocation& where);

// Shows the system's description of GetLastError() for `what` in a box and exits with that code.
[[noreturn]] void fatalSystemError(const char* what);

#define TBX_THROW_SYS(context, address, code) \
    throw ::QmbError<::SysError>(::SysError((context), reinterpret_cast<const void*>(address), (code)), TBX_HERE)
#define TBX_THROW_SYS_AS(name, context, address, code) \
    throw ::QmbError<::SysError>(::SysError((context), reinterpret_cast<const void*>(address), (code)), TBX_HERE_AS(name))

// Exceptions that carry the location of their raise site, and the texts that describe system errors.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "platform/located_error.h"
#include "platform/prompter.h"
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

// The last-resort report of a system error: "<what> failed with error <code>: <description>" as an ERROR
// record and, when a person is at the screen, in a box. Returns the exit code for it: `code`, or 1627 when the
// code is 0 so that a failure never reads as success.
int reportSystemError(const char* what, DWORD code, const Prompter& prompter);

#define TBX_THROW_SYS(context, address, code) \
    throw ::QmbError<::SysError>(::SysError((context), reinterpret_cast<const void*>(address), (code)), TBX_HERE)
#define TBX_THROW_SYS_AS(name, context, address, code) \
    throw ::QmbError<::SysError>(::SysError((context), reinterpret_cast<const void*>(address), (code)), TBX_HERE_AS(name))

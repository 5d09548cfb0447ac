// Exceptions that carry the location of their raise site, and the texts that describe system errors.
#pragma once

#include <windows.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/source_location.h"

// Composes "<file>(<line>) at <func>(): <what>" with only the file-name part of the path.
std::string composeLocatedMessage(const SourceLocation& where, const char* what);

template <class Base>
class QmbError : public Base {
public:
    QmbError(const Base& e, const SourceLocation& where)
        : Base(e), msg(composeLocatedMessage(where, e.what())) {}

    template <class B = Base>
    QmbError(const std::string& text, const SourceLocation& where,
             decltype(B(std::string()))* = nullptr)
        : QmbError(Base(text), where) {}

    template <class B = Base>
    QmbError(const std::ostringstream& text, const SourceLocation& where,
             decltype(B(std::string()))* = nullptr)
        : QmbError(Base(text.str()), where) {}

    ~QmbError() override = default;
    const char* what() const noexcept override { return msg.c_str(); }

private:
    std::string msg;
};

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

#define TBX_THROW(ExceptionType, text) \
    throw ::QmbError<ExceptionType>(ExceptionType(text), TBX_HERE)
#define TBX_THROW_AS(name, ExceptionType, text) \
    throw ::QmbError<ExceptionType>(ExceptionType(text), TBX_HERE_AS(name))
#define TBX_THROW_SYS(context, address, code) \
    throw ::QmbError<::SysError>(::SysError((context), reinterpret_cast<const void*>(address), (code)), TBX_HERE)
#define TBX_THROW_SYS_AS(name, context, address, code) \
    throw ::QmbError<::SysError>(::SysError((context), reinterpret_cast<const void*>(address), (code)), TBX_HERE_AS(name))

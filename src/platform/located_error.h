// Exceptions that carry the location of their raise site; below everything that throws.
#pragma once

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

    ~QmbError() override = default;
    const char* what() const noexcept override { return msg.c_str(); }

private:
    std::string msg;
};

#define TBX_THROW(ExceptionType, text) \
    throw ::QmbError<ExceptionType>(ExceptionType(text), TBX_HERE)
#define TBX_THROW_AS(name, ExceptionType, text) \
    throw ::QmbError<ExceptionType>(ExceptionType(text), TBX_HERE_AS(name))

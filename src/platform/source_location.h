// Where a failure was raised or caught, or a log record was written.
#pragma once

#include <string>

struct SourceLocation {
    SourceLocation(const char* file_, std::string func_, int line_)
        : file(file_), func(std::move(func_)), line(line_) {}

    const char* file;
    std::string func;
    int line;
};

// Reduces a __PRETTY_FUNCTION__ text to the Class::method form used in log records,
// spelling the anonymous namespace as `anonymous-namespace'.
std::string qualifiedFunctionName(const char* prettyFunction);

#define TBX_FUNC (::qualifiedFunctionName(__PRETTY_FUNCTION__))
#define TBX_HERE (::SourceLocation(__FILE__, TBX_FUNC, __LINE__))
// For the places whose records must carry a name other than the enclosing function's.
#define TBX_HERE_AS(name) (::SourceLocation(__FILE__, (name), __LINE__))

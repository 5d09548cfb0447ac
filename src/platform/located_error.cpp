// The message of a located exception.
#include "platform/located_error.h"

namespace {
// The file-name part of a path; tstrings sits above this file, as it throws located exceptions itself.
std::string fileNamePart(const std::string& path) {
    size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? path : path.substr(at + 1);
}
}  // namespace

std::string composeLocatedMessage(const SourceLocation& where, const char* what) {
    return fileNamePart(where.file ? where.file : "") + "(" + std::to_string(where.line) + ") at " + where.func +
           "(): " + (what ? what : "");
}

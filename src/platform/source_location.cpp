// Trimming of compiler function signatures to qualified names.
#include "platform/source_location.h"

#include <cstring>

namespace {

const char kGccAnonymous[] = "{anonymous}";
const char kAnonymous[] = "`anonymous-namespace'";

// Index of the '(' that opens the parameter list ending at or before `end`, or npos.
size_t openingParenOfParameters(const std::string& s, size_t end) {
    size_t close = s.find_last_of(')', end);
    if (close == std::string::npos) return std::string::npos;
    int depth = 0;
    for (size_t i = close + 1; i-- > 0;) {
        if (s[i] == ')') ++depth;
        else if (s[i] == '(' && --depth == 0) return i;
    }
    return std::string::npos;
}

}  // namespace

std::string qualifiedFunctionName(const char* prettyFunction) {
    if (!prettyFunction) return std::string();
    std::string s(prettyFunction);

    // "T foo<T>::bar() [with T = int]": the template bindings are noise here.
    size_t with = s.rfind(" [with ");
    if (with != std::string::npos) s.erase(with);

    size_t open = openingParenOfParameters(s, s.size() - 1);
    std::string head = open == std::string::npos ? s : s.substr(0, open);

    // The name starts after the last space outside template brackets. Operator names
    // ("operator<", "operator()") contain brackets of their own, so scan from before them.
    size_t scanFrom = head.size();
    size_t op = head.rfind("operator");
    if (op != std::string::npos && (op == 0 || head[op - 1] == ':' || head[op - 1] == ' '))
        scanFrom = op;
    size_t start = 0;
    int depth = 0;
    for (size_t i = scanFrom; i-- > 0;) {
        char c = head[i];
        if (c == '>') ++depth;
        else if (c == '<') --depth;
        else if (c == ' ' && depth == 0) { start = i + 1; break; }
    }
    std::string name = head.substr(start);

    for (size_t pos = name.find(kGccAnonymous); pos != std::string::npos;
         pos = name.find(kGccAnonymous, pos + std::strlen(kAnonymous))) {
        name.replace(pos, std::strlen(kGccAnonymous), kAnonymous);
    }
    return name;
}

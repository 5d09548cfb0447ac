// The two version parsers: dotted numbers, and product versions with update, milestone and build suffixes.
#include "platform/version_details.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <vector>

#include "platform/tstrings.h"

namespace {

// True when `token` converts as a component; the value goes to `value`.
bool tryParseComponent(const std::string& token, int& value) {
    try {
        value = VersionDetails::parseComponent(token);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

// Suffix steps of a product version: each returns how many characters remain after it.
size_t stepMicro(const std::string& rest, int* destination) {
    std::string digits = rest.substr(0, rest.find_first_of("_-"));
    int value = 0;
    if (!tryParseComponent(digits, value)) return rest.size();
    destination[ZoltVersionDetails::micro] = value;
    return rest.size() - digits.size();
}

size_t stepUpdate(const std::string& rest, int* destination) {
    if (rest.empty() || rest[0] != '_') return rest.size();
    std::string digits = rest.substr(1, rest.find('-', 1) == std::string::npos ? std::string::npos
                                                                                  : rest.find('-', 1) - 1);
    int value = 0;
    if (!tryParseComponent(digits, value)) return rest.size();
    destination[ZoltVersionDetails::update] = value;
    return rest.size() - 1 - digits.size();
}

// The length of a "-b<build>" piece at the start of `rest`, or 0 when it is not one.
size_t buildPieceLength(const std::string& rest, int& value) {
    if (rest.size() <= 2 || rest.compare(0, 2, "-b") != 0) return 0;
    size_t end = rest.find('-', 2);
    std::string digits = rest.substr(2, end == std::string::npos ? std::string::npos : end - 2);
    if (!tryParseComponent(digits, value) || value == 0) return 0;
    return 2 + digits.size();
}

size_t stepMilestone(const std::string& rest, int*) {
    if (rest.empty() || rest[0] != '-' || rest == "-") return rest.size();
    size_t position = 0;
    while (position < rest.size()) {
        int ignored = 0;
        if (buildPieceLength(rest.substr(position), ignored) != 0) break;
        size_t next = rest.find('-', position + 1);
        position = next == std::string::npos ? rest.size() : next;
    }
    return rest.size() - position;
}

size_t stepBuild(const std::string& rest, int* destination) {
    int value = 0;
    size_t length = buildPieceLength(rest, value);
    if (length == 0) return rest.size();
    destination[ZoltVersionDetails::build] = value;
    return rest.size() - length;
}

}  // namespace

int VersionDetails::parseComponent(const std::string& token) {
    bool digitsOnly = !token.empty();
    for (char c : token)
        if (c < '0' || c > '9') digitsOnly = false;
    if (digitsOnly) {
        errno = 0;
        char* end = nullptr;
        long long value = std::strtoll(token.c_str(), &end, 10);
        if (errno == 0 && *end == '\0' && value <= std::numeric_limits<int>::max()) return static_cast<int>(value);
    }
    TBX_THROW(std::runtime_error, "Failed to recognize version component in [" + token + "]");
}

size_t VersionDetails::Parser::operator()(const std::string& text, int* destination, size_t& count) const {
    if (count == 0) TBX_THROW(std::length_error, "Destination buffer can't be empty");
    std::vector<std::string> tokens;
    if (!text.empty()) tstrings::split(text, ".", tokens);

    size_t capacity = count;
    size_t converted = 0;
    size_t position = 0;    // start of the token being read
    size_t recognised = 0;  // where the scan stopped
    for (; converted < capacity && converted < tokens.size(); ++converted) {
        const std::string& token = tokens[converted];
        try {
            destination[converted] = parseComponent(token);
        } catch (const std::runtime_error&) {
            recognised = position;
            break;
        }
        recognised = position + token.size();
        position = recognised + 1;
    }
    count = converted;
    if (recognised > text.size())
        TBX_THROW(std::logic_error, "[" + std::to_string(recognised) + " < " + std::to_string(text.size()) +
                                        "] failed");
    return text.size() - recognised;
}

size_t ZoltVersionParser::operator()(const std::string& text, int* destination, size_t& count) const {
    return ZoltVersionDetails::parse(text, destination, count);
}

size_t ZoltVersionDetails::parse(const std::string& text, int* destination, size_t& count) {
    if (count < 5) TBX_THROW(std::length_error, "Insufficient size of destination buffer");
    int dotted[3] = {};
    size_t dottedCount = 3;
    size_t remaining = VersionDetails::Parser()(text, dotted, dottedCount);
    count = 0;

    if (dottedCount >= 1) {
        if (dotted[0] <= 0) return text.size();
        destination[major] = dotted[0];
        count = 1;
    }
    if (dottedCount >= 2) {
        if (dotted[1] <= 0) {
            int majorOnly[1] = {};
            size_t one = 1;
            return VersionDetails::Parser()(text, majorOnly, one);
        }
        destination[minor] = dotted[1];
        count = 2;
    }
    if (dottedCount == 3) {
        destination[micro] = dotted[2];
        count = 3;
    }
    if (remaining == 0 || dottedCount != 2) return remaining;

    using Step = size_t (*)(const std::string&, int*);
    struct SuffixStep {
        Step run;
        bool mandatory;
    };
    const SuffixStep steps[] = {{stepMicro, true}, {stepUpdate, false}, {stepMilestone, false}, {stepBuild, false}};
    for (const SuffixStep& step : steps) {
        if (remaining == 0) break;
        size_t after = step.run(text.substr(text.size() - remaining), destination);
        if (after > remaining)
            TBX_THROW(std::logic_error, tstrings::format("[%d < %d] failed", static_cast<int>(remaining),
                                                         static_cast<int>(after)));
        if (after < remaining) {
            remaining = after;
            ++count;
        } else if (step.mandatory) {
            break;
        }
    }
    return remaining;
}

bool ZoltVersionDetails::equalsIgnoringBuild(const ZoltVersionDetails& other) const {
    ZoltVersionDetails a = *this;
    ZoltVersionDetails b = other;
    a.components[build] = -1;
    b.components[build] = -1;
    return a == b;
}

// Parsed version strings: four-part dotted versions and product versions (major.minor.micro_update-bbuild).
#pragma once

#include <cstddef>
#include <string>

#include "platform/errors.h"

namespace VersionDetails {

// One plain decimal component: digits only, no sign or blanks, within a signed 32-bit number.
int parseComponent(const std::string& token);

// Reads up to `count` dotted numbers into `destination`; returns how many characters of `text` it did not
// recognise and sets `count` to the number of components filled.
struct Parser {
    size_t operator()(const std::string& text, int* destination, size_t& count) const;
};

template <size_t N, class ParserType, size_t Min>
class Base {
public:
    Base() = default;
    explicit Base(const std::string& text) { init(text); }

    void init(const std::string& text) {
        int parsed[N] = {};
        size_t count = N;
        size_t unrecognised = ParserType()(text, parsed, count);
        if (unrecognised != 0)
            TBX_THROW(std::runtime_error, "Failed to parse [" + text + "] version string completely." +
                                              " Number of unrecognised characters is " +
                                              std::to_string(unrecognised));
        if (count < Min)
            TBX_THROW(std::runtime_error, "Failed to parse [" + text + "] version string. The string is too short");
        for (size_t i = 0; i < N; ++i) components[i] = parsed[i];
        source = text;
    }

    // Negative, zero or positive as this version is older, equal or newer; the source texts play no part.
    int compare(const Base& other) const {
        for (size_t i = 0; i < N; ++i)
            if (components[i] != other.components[i]) return components[i] < other.components[i] ? -1 : 1;
        return 0;
    }
    bool operator<(const Base& other) const { return compare(other) < 0; }
    bool operator>(const Base& other) const { return compare(other) > 0; }
    bool operator<=(const Base& other) const { return compare(other) <= 0; }
    bool operator>=(const Base& other) const { return compare(other) >= 0; }
    bool operator==(const Base& other) const { return compare(other) == 0; }
    bool operator!=(const Base& other) const { return compare(other) != 0; }

    int components[N] = {};
    std::string source;
};

// The auto-update component's version: exactly four dotted numbers.
using Dotted = Base<4, Parser, 4>;

}  // namespace VersionDetails

// Parser of product versions; fills major, minor, micro, update and build.
struct ZoltVersionParser {
    size_t operator()(const std::string& text, int* destination, size_t& count) const;
};

class ZoltVersionDetails : public VersionDetails::Base<5, ZoltVersionParser, 3> {
public:
    using Parser = ZoltVersionParser;
    enum Component { major = 0, minor = 1, micro = 2, update = 3, build = 4 };

    ZoltVersionDetails() = default;
    explicit ZoltVersionDetails(const std::string& text) : Base(text) {}

    // The body of the parser; `count` must be at least 5 on entry.
    static size_t parse(const std::string& text, int* destination, size_t& count);

    // Equal in every component but the build.
    bool equalsIgnoringBuild(const ZoltVersionDetails& other) const;
};

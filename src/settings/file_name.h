// FileName: a checked Windows file name in UTF-8 and wide forms, through which every settings file is reached.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace settings_impl {

class FileName {
public:
    struct Split {
        std::vector<std::string> components;
        bool absolute;
    };

    // Validates the name: 312 not UTF-8, 310 too long, 311 reserved name or forbidden character.
    explicit FileName(const std::string& text);

    // Absolute, without `.`, `..` and empty components, joined with '/'.
    FileName canonicalize() const;
    // Makes every missing folder above a canonical name.
    void createParentDirectories() const;
    static Split splitComponents(const std::string& text);
    // Whether FileName(text) would be accepted and split as absolute; builds nothing, as it runs for
    // every folder value of a settings file.
    static bool isValidAbsoluteName(std::string_view text);

    const std::string& utf8() const { return utf8Name; }
    const std::wstring& wide() const { return wideName; }
    bool isCanonical() const { return canonical; }

    static const std::set<std::string> RESERVED_NAMES;
    static const std::string FORBIDDEN_CHARS;
    static const size_t MAX_NAME_BYTES = 260;

private:
    std::string utf8Name;
    std::wstring wideName;
    bool canonical = false;
};

}  // namespace settings_impl

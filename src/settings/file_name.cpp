// FileName: validation, canonical form and parent folder creation of settings file names.
#include "settings/file_name.h"

#include <stdexcept>

#include "settings/config.h"
#include "settings/settings_exception.h"
#include "settings/settings_os.h"
#include "settings/wide_text.h"

namespace settings_impl {
namespace {

std::string forbiddenChars() {
    std::string chars;
    for (int c = 0; c < 0x20; ++c) chars.push_back(static_cast<char>(c));
    chars += "<>:\"|?*/\\";
    return chars;
}

bool isDrive(const std::string& component) {
    return component.size() == 2 && component[1] == ':' &&
           ((component[0] >= 'A' && component[0] <= 'Z') || (component[0] >= 'a' && component[0] <= 'z'));
}

bool isForbiddenChar(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*' ||
           c == '/' || c == '\\';
}

void checkComponent(const std::string& component) {
    if (FileName::RESERVED_NAMES.count(component) ||
        component.find_first_of(FileName::FORBIDDEN_CHARS) != std::string::npos) {
        throw settings::Exception(311);
    }
}

std::string joinComponents(const std::vector<std::string>& components, size_t count) {
    std::string joined;
    for (size_t i = 0; i < count; ++i) {
        if (i) joined += '/';
        joined += components[i];
    }
    return joined;
}

}  // namespace

const std::set<std::string> FileName::RESERVED_NAMES = {
    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
    "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",
};
const std::string FileName::FORBIDDEN_CHARS = forbiddenChars();

FileName::FileName(const std::string& text) : utf8Name(text) {
    if (!text.empty()) {
        if (!isValidUtf8(text)) throw settings::Exception(312);
        if (text.size() >= MAX_NAME_BYTES) throw settings::Exception(310);
        const Split split = splitComponents(text);
        for (size_t i = split.absolute ? 1 : 0; i < split.components.size(); ++i) {
            checkComponent(split.components[i]);
        }
    }
    wideName = utf8ToWide(utf8Name);
}

FileName::Split FileName::splitComponents(const std::string& text) {
    if (text.empty()) throw settings::Exception(311);
    std::vector<std::string> raw;
    size_t start = 0;
    for (;;) {
        const size_t separator = text.find_first_of("\\/", start);
        if (separator == std::string::npos) {
            if (start < text.size()) raw.push_back(text.substr(start));
            break;
        }
        raw.push_back(text.substr(start, separator - start));
        start = separator + 1;
    }
    Split split;
    split.absolute = !raw.empty() && isDrive(raw.front());
    for (std::string& component : raw) {
        if (!component.empty() && component != ".") split.components.push_back(std::move(component));
    }
    return split;
}

bool FileName::isValidAbsoluteName(std::string_view text) {
    if (text.empty() || text.size() >= MAX_NAME_BYTES) return false;
    bool ascii = true;
    for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii && (findInvalidUtf8(text.data(), text.data() + text.size()) != text.data() + text.size() ||
                   !isConvertibleUtf8(text))) {
        return false;
    }
    if (text.size() < 2 || text[1] != ':' ||
        !((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) ||
        (text.size() > 2 && text[2] != '\\' && text[2] != '/')) {
        return false;  // the first component is not a drive
    }
    size_t start = 2;
    while (start < text.size()) {
        ++start;  // past the separator
        size_t end = start;
        bool forbidden = false;
        for (; end < text.size() && text[end] != '\\' && text[end] != '/'; ++end) {
            forbidden = forbidden || isForbiddenChar(text[end]);
        }
        const std::string_view component = text.substr(start, end - start);
        start = end;
        if (component.empty() || component == ".") continue;
        if (forbidden) return false;
        if ((component.size() == 3 || component.size() == 4) && RESERVED_NAMES.count(std::string(component))) {
            return false;
        }
    }
    return true;
}

FileName FileName::canonicalize() const {
    if (canonical) return *this;
    Split split = splitComponents(utf8Name);
    std::vector<std::string> components;
    if (!split.absolute) {
        const Split current = splitComponents(wideToUtf8(os::currentDirectory()));
        if (!current.absolute) throw settings::Exception(200);
        components = current.components;
    }
    components.insert(components.end(), split.components.begin(), split.components.end());
    for (;;) {
        size_t up = 0;
        while (up < components.size() && components[up] != "..") ++up;
        if (up == components.size()) break;
        // Refused at the drive as well: a `..` there would leave a relative remainder.
        if (up <= 1) throw settings::Exception(311);
        components.erase(components.begin() + (up - 1), components.begin() + (up + 1));
    }
    if (components.empty()) throw settings::Exception(311);
    FileName result(joinComponents(components, components.size()));
    result.canonical = true;
    return result;
}

void FileName::createParentDirectories() const {
    if (!canonical) throw std::logic_error("canonicalized file name expected");
    const Split split = splitComponents(utf8Name);
    if (split.components.size() < 2) return;
    const size_t folders = split.components.size() - 1;
    for (size_t count = 2; count <= folders; ++count) {
        const FileName folder(joinComponents(split.components, count));
        if (!os::entryExists(folder.wide()) &&
            os::makeDirectory(folder.wide()) == os::MakeDirectoryResult::Failed) {
            throw settings::Exception(311);
        }
    }
}

}  // namespace settings_impl

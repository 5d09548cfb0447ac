// Turning a settings result code into the logged message and, unless silent, a message box.
#include <cstring>

#include "installconfig/config_log.h"
#include "installconfig/config_pipeline.h"
#include "platform/tstrings.h"
#include "platform/prompter.h"
#include "strings/config_message_ids.h"

namespace {

enum class Shown { Box, LoggedOnly };

struct CodeMessage {
    int32_t code;
    unsigned stringId;
    Shown shown;
    bool withText;
};

const CodeMessage kCodeMessages[] = {
    {200, IDS_CONFIG_INTERNAL_ERROR, Shown::Box, false},
    {300, IDS_CONFIG_INVALID_PARAMETER, Shown::LoggedOnly, false},
    {304, IDS_CONFIG_CANNOT_OPEN, Shown::Box, true},
    {305, IDS_CONFIG_NO_PERMISSION, Shown::Box, true},
    {306, IDS_CONFIG_WRITE_FAILED, Shown::Box, false},
    {307, IDS_CONFIG_READ_ERROR, Shown::Box, true},
    {308, IDS_CONFIG_RENAME, Shown::LoggedOnly, false},
    {309, IDS_CONFIG_REMOVE, Shown::LoggedOnly, false},
    {310, IDS_CONFIG_PATH_TOO_LONG, Shown::Box, false},
    {311, IDS_CONFIG_INVALID_PATH, Shown::Box, false},
    {312, IDS_CONFIG_PATH_NOT_PLAIN_TEXT, Shown::Box, false},
    {313, IDS_CONFIG_MALFORMED, Shown::Box, true},
    {314, IDS_CONFIG_FILE_NOT_PLAIN_TEXT, Shown::Box, true},
    {315, IDS_CONFIG_FILE_TOO_LONG, Shown::Box, true},
    {kOptionRefused, IDS_CONFIG_BAD_SWITCHES, Shown::Box, true},
};

// Fills the first and second "%s" of a message with the two texts. Done by hand rather than by printf so
// that nothing in a file path or argument can act as a format directive.
std::string fillMessage(const char* format, const std::string& first, const std::string& second) {
    std::string out;
    int filled = 0;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's' && filled < 2) {
            out += filled++ == 0 ? first : second;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace

const char* settingsResultWords(int32_t code) {
    switch (code) {
        case 300: return "was not given";
        case 301: return "has no value";
        case 302: return "is not valid text, number or boolean";
        case 303: return "is missing";
        case 304: return "cannot be opened";
        case 305: return "may not be read by this account";
        case 306: return "was not written completely";
        case 307: return "cannot be read";
        case 310: return "has a path too long";
        case 311: return "is not a valid absolute path";
        case 312: return "has a name that is not UTF-8";
        case 313: return "has lines that are not valid options or values";
        case 314: return "is not UTF-8 text";
        case 315: return "is too long";
        case kOptionRefused: return "is refused: an unknown, unsupported or unreadable option";
        default: return "cannot be used";
    }
}

bool ConfigPipeline::showConfigError(const ConfigSlot& slot, int32_t code, const std::string& text, bool silent) {
    if (code == 0) return true;
    const CodeMessage* message = nullptr;
    for (const CodeMessage& m : kCodeMessages)
        if (m.code == code) message = &m;
    if (!message) {
        CONFIG_LOG("InstallConfigData::showConfigError", LOG_INFO, tstrings::format("Unknown Error code %d", code));
        return false;
    }
    std::string second;
    if (code == settings::RESULT_TEXT_HAD_ERRORS) {
        const int32_t* firstLine = nullptr;
        int32_t count = 0;
        const bool known = api.getErrorLines(slot.config, &firstLine, &count) == 0 && firstLine && count > 0;
        second = known ? tstrings::toString(firstLine[0] + 1) : std::string("<line number>");
    }
    showResourceMessage(message->stringId, silent || message->shown == Shown::LoggedOnly,
                        message->withText ? text : std::string(), second);
    return false;
}

void ConfigPipeline::showResourceMessage(unsigned id, bool silent, const std::string& first,
                                            const std::string& second) {
    char caption[256] = "";
    char format[1024] = "";
    LoadStringA(moduleInstance, IDS_CONFIG_CAPTION, caption, sizeof caption);
    LoadStringA(moduleInstance, id, format, sizeof format);
    // A message box text, not a command: cutting it to the buffer is harmless.
    std::string message = fillMessage(format, first, second).substr(0, 1023);
    // The reason in words, as the person at the screen reads it: an ERROR record, not only INFO.
    CONFIG_LOG("InstallConfigData::showConfigError", LOG_ERROR, message);
    Prompter(silent).show(message, caption, MB_ICONERROR);
}

// Turning a settings result code into the logged message and, unless silent, a message box.
#include <cstring>

#include "installconfig/config_log.h"
#include "installconfig/config_pipeline.h"
#include "platform/tstrings.h"
#include "platform/window_station.h"
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
        throwOnSettingsError(api.getErrorLines(slot.config, &firstLine, &count));
        second = firstLine && count > 0 ? tstrings::toString(firstLine[0] + 1) : std::string("<line number>");
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
    logit(message.c_str());
    if (mayShowBox(silent)) MessageBoxA(nullptr, message.c_str(), caption, MB_ICONERROR);
}

// Composing the installer engine's command line in the flow's fixed buffers.
#include "launcher/install_command.h"

#include <cstring>

#include "platform/bounded_format.h"
#include "platform/logger.h"

namespace {

bool isQuoted(const char* text) {
    size_t length = std::strlen(text);
    return length >= 2 && text[0] == '"' && text[length - 1] == '"';
}

// The engine reads its switches in any letter case: a /QN given by the administrator is the quiet switch too.
bool containsQuietSwitch(const char* text) {
    for (const char* p = text; *p; ++p)
        if (p[0] == '/' && (p[1] == 'q' || p[1] == 'Q') && (p[2] == 'n' || p[2] == 'N')) return true;
    return false;
}

bool refuse(const char* what) {
    TBX_LOG_AS("WinMain", LOG_ERROR, std::string(what) + " does not fit the installer command buffer; refused.");
    return false;
}

}  // namespace

bool AppendSilentArguments(char (&installerArguments)[kCommandBufferSize], bool addLocalSet) {
    if (!containsQuietSwitch(installerArguments) && !appendInto(installerArguments, " /qn"))
        return refuse("The quiet switch");
    if (!addLocalSet && !appendInto(installerArguments, " ADDLOCAL=PublicplnFeature,ToolsFeature"))
        return refuse("The default feature list");
    return true;
}

bool AppendInstallDirArgument(char (&command)[kCommandBufferSize], const char* dir) {
    char piece[kCommandBufferSize];
    bool ok = isQuoted(dir) ? formatInto(piece, " INSTALLDIR=%s ", dir) : formatInto(piece, " INSTALLDIR=\"%s\" ", dir);
    if (!ok || !appendInto(command, piece)) return refuse("INSTALLDIR");
    return true;
}

bool ComposeInstallerCommand(char (&command)[kCommandBufferSize], const InstallerCommandParts& parts) {
    command[0] = '\0';
    bool ok = parts.langId == kEnglishLangId
                  ? formatInto(command, kBaseCommandLimit, "\"%s\" /i \"%s\" %s WRAPPER=1", parts.msiexecPath,
                               parts.msiPath, parts.installerArguments)
                  : formatInto(command, kBaseCommandLimit, "\"%s\" /i \"%s\" TRANSFORMS=:%u %s WRAPPER=1",
                               parts.msiexecPath, parts.msiPath, parts.langId, parts.installerArguments);
    if (!ok) return refuse("The base command");
    if (!parts.msiLogFile.empty()) {
        char logSwitch[kCommandBufferSize];
        if (!formatInto(logSwitch, " /l%s \"%s\"", parts.msiLogModes.c_str(), parts.msiLogFile.c_str()) ||
            !appendInto(command, logSwitch))
            return refuse("The installer log path");
    }
    if (parts.installDir[0] != '\0' && !AppendInstallDirArgument(command, parts.installDir)) return false;
    if (parts.noStartMenu && !appendInto(command, " NOSTARTMENU=1")) return refuse("NOSTARTMENU");
    return true;
}

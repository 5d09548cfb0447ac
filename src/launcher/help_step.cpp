// The usage text and where it goes: standard output, the parent's console, a box, or only the log.
#include "launcher/help_step.h"

#include <shellapi.h>

#include <memory>

#include "installconfig/argument_import.h"
#include "platform/logger.h"
#include "platform/resources.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"
#include "platform/window_station.h"
#include "strings/string_ids.h"

namespace {

std::vector<std::string> splitCommandLine(const wchar_t* commandLine) {
    std::vector<std::string> args;
    if (!commandLine || !*commandLine) return args;
    int count = 0;
    std::unique_ptr<LPWSTR, HLOCAL (*)(HLOCAL)> argv(CommandLineToArgvW(commandLine, &count),
                                                    [](HLOCAL p) { return LocalFree(p); });
    if (!argv) return args;
    for (int i = 0; i < count; ++i) args.push_back(tstrings::toUtf8(argv.get()[i]));
    return args;
}

// A console wants carriage returns before line feeds; so does a file an administrator opens in Notepad.
std::string withCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

bool writeAll(HANDLE to, const std::string& text) {
    DWORD written = 0;
    return WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

// True when the text reached a standard output or console the launcher was started with.
bool writeToConsole(const std::string& text) {
    const HANDLE given = GetStdHandle(STD_OUTPUT_HANDLE);
    if (given && given != INVALID_HANDLE_VALUE && GetFileType(given) != FILE_TYPE_UNKNOWN &&
        writeAll(given, withCrLf(text)))
        return true;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    UniqueFile console(CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    const bool written = console && writeAll(console.get(), withCrLf("\n" + text));
    FreeConsole();
    return written;
}

}  // namespace

std::string usageText(const std::string& logPath) {
    return "Usage: tbx-setup.exe [switches] [KEY=value ...]\n"
           "\n"
           "Switches (any letter case):\n"
           "  /s, -download       silent: no message boxes; the installer runs with /qn\n"
           "  /q...               the installer's UI level, passed on (/qn, /qb)\n"
           "  /l[*v] <path>       the installer's own log\n"
           "  /lang=<id>          the installer's language: 1033, 1041 or 2052\n"
           "  /?, -?, /help       this text; nothing is installed\n"
           "\n"
           "Options (KEY=value or KEY:value; the key in any letter case, the value exactly as shown):\n"
           "  INSTALLDIR=<absolute path>         the kit's install folder\n"
           "  /INSTALLDIRPUBPLN=<absolute path>  the public runtime's install folder\n"
           "  INSTALLCFG=<absolute path>         an install configuration file, one KEY=value a line,\n"
           "                                     with any option below; the command line wins over it\n"
           "  ADDLOCAL=<features>                replaces ADDLOCAL=PublicplnFeature,ToolsFeature\n"
           "  REBOOT=ReallySuppress              the installer does not restart Windows\n"
           "  MSI_CMDLINE=<text>                 more installer arguments\n"
           "  INSTALL_SILENT, NOSTARTMENU, AUTO_UPDATE, EULA, SPONSORS, WEB_ANALYTICS=Enable|Disable|1|0\n"
           "  INSTALLER_WAIT=<0-86400>           seconds to wait while another installation holds the\n"
           "                                     Windows Installer (default 600)\n"
           "\n"
           "Exit codes: 0 installed; 3010 installed, restart required; 1641 installed, Windows restarting;\n"
           "  1618 another installation kept the Windows Installer busy (try again later);\n"
           "  -1 another Zolt installation runs, or a removal or newer build stopped the run;\n"
           "  -5 something below the launcher was tampered with (see the log);\n"
           "  -80 the configuration was refused; any other code: see the log.\n"
           "\n"
           "Log: " +
           logPath + "\n";
}

StepResult showHelpIfAsked(HINSTANCE instance, const wchar_t* commandLine) {
    const std::vector<std::string> args = splitCommandLine(commandLine);
    bool asked = false;
    for (size_t i = 1; i < args.size(); ++i) asked = asked || isHelpArgument(args[i]);
    if (!asked) return StepResult::proceed();

    const std::string text = usageText(tstrings::utf8ToAnsi(Logger::instance().logFilePath));
    TBX_LOG_AS("showHelpIfAsked", LOG_INFO, "Usage asked for; nothing is installed.\n" + text);
    if (!writeToConsole(text) && mayShowBox(argumentsAskSilence(args))) {
        const std::string caption = StringResource(IDS_HELP_CAPTION, instance).string("Zolt Installer Usage");
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
    }
    return StepResult::endRun(0);
}

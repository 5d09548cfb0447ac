// The usage text and where it goes: standard output, the parent's console, a box, or only the log.
#include "launcher/help_step.h"

#include "installconfig/argument_import.h"
#include "installconfig/option_table.h"
#include "launcher/console_output.h"
#include "platform/logger.h"
#include "platform/prompter.h"
#include "platform/resources.h"
#include "platform/tstrings.h"
#include "process/exit_codes.h"
#include "strings/string_ids.h"

std::string usageText(const std::string& logPath) {
    std::string text =
        "Usage: tbx-setup.exe [switches] [KEY=value ...]\n"
        "\n"
        "Switches and options (KEY=value or KEY:value; names in any letter case, values exactly as shown):\n"
        "  /?, -?, /help                       this text; nothing is installed\n";
    text += optionUsageLines();
    text += "\nExit codes:\n";
    for (const ExitCodeMeaning& meaning : kExitCodeMeanings)
        text += std::string("  ") + meaning.codes + ": " + meaning.meaning + "\n";
    text += "  any other code: see the log.\n\nLog: " + logPath + "\n";
    return text;
}

StepResult showHelpIfAsked(HINSTANCE instance, const std::vector<std::string>& args) {
    bool asked = false;
    for (size_t i = 1; i < args.size(); ++i) asked = asked || isHelpArgument(args[i]);
    if (!asked) return StepResult::proceed();

    const std::string text = usageText(tstrings::utf8ToAnsi(Logger::instance().logFilePath));
    TBX_LOG_AS("showHelpIfAsked", LOG_INFO, "Usage asked for; nothing is installed.\n" + text);
    // Help comes before the configuration: whether anyone is there is read from the arguments alone.
    if (!writeToConsole(text)) {
        const std::string caption = StringResource(IDS_HELP_CAPTION, instance).string("Zolt Installer Usage");
        Prompter(argumentsAskSilence(args)).show(text, caption, MB_OK | MB_ICONINFORMATION);
    }
    return StepResult::endRun(0);
}

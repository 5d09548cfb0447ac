// Reading the launcher's arguments into a configuration, without the Windows parts.
#include "installconfig/argument_import.h"

#include <cctype>
#include <cstring>

namespace {

constexpr int32_t kTextHadErrors = 313;  // the settings engine's "text had errors"

std::string lowerC(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool optionMatches(const char* name, const std::string& argument) {
    const OptionRow* row = findOptionRow(name);
    return row && argumentMatchesOption(*row, argument);
}

void listBadArgument(std::string& badArguments, const std::string& argument) {
    badArguments += "\"" + argument + "\";";
}

}  // namespace

bool argumentMatchesOption(const OptionDescriptor& row, const std::string& argument) {
    const size_t separator = argument.find_first_of("=:");
    const bool hasSeparator = separator != std::string::npos;
    const std::string key = lowerC(hasSeparator ? argument.substr(0, separator) : argument);
    if (hasSeparator == isSwitchName(row.name)) return false;
    const std::string name = lowerC(row.name);
    if (!row.prefixMatch) return key == name;
    if (key.compare(0, name.size(), name) != 0) return false;
    return !row.prefixTail || key.find_first_not_of(row.prefixTail, name.size()) == std::string::npos;
}

const OptionDescriptor* findOptionFor(const std::string& argument, const OptionDescriptor* rows, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (argumentMatchesOption(rows[i], argument)) return &rows[i];
    return nullptr;
}

std::string storedTextFor(const OptionDescriptor& row, const std::string& argument) {
    // The later presence test looks for the key as listed: a switch typed in another letter case must be
    // stored under that key, not as typed.
    if (row.prefixMatch || isSwitchName(row.name)) return row.name;
    return argument;
}

bool isHelpArgument(const std::string& argument) {
    const std::string key = lowerC(argument);
    return key == "/?" || key == "-?" || key == "/help";
}

bool argumentsAskSilence(const std::vector<std::string>& args) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& argument = args[i];
        if (optionMatches("/s", argument) || optionMatches("-download", argument)) return true;
        if (optionMatches("INSTALL_SILENT", argument)) {
            const std::string value = argument.substr(argument.find_first_of("=:") + 1);
            if (value == "Enable" || value == "1") return true;
        }
    }
    return false;
}

const char* logPathRefusal(const std::vector<std::string>& args, size_t index) {
    if (index >= args.size() || args[index].empty()) return "no log path follows it";
    const std::string& path = args[index];
    // An option or switch right after /l was meant for the launcher: taking it as the path would drop it.
    if (path[0] == '/' || path[0] == '-' || path.find('=') != std::string::npos)
        return "the argument after it looks like an option or a switch, not a log path";
    if (path.find_first_of("\"\r\n") != std::string::npos) return "the argument after it is not a file path";
    return nullptr;
}

std::optional<std::string> logFolderArgument(const std::vector<std::string>& args) {
    std::optional<std::string> folder;
    for (size_t i = 1; i < args.size(); ++i) {
        if (!optionMatches("/log", args[i])) continue;
        if (logPathRefusal(args, i + 1)) return std::nullopt;  // the configuration refuses the run
        folder = args[++i];
    }
    return folder;
}

ArgumentImport importArguments(const std::vector<std::string>& args, const OptionDescriptor* rows, size_t count,
                               const ArgumentSink& sink) {
    ArgumentImport out;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& argument = args[i];
        if (argument.empty()) continue;
        // One argument is one option: a line break would smuggle further lines into the configuration text.
        const bool oneLine = argument.find_first_of("\r\n") == std::string::npos;
        const OptionDescriptor* row = oneLine ? findOptionFor(argument, rows, count) : nullptr;
        if (!row) {
            sink.report("arg " + argument + " is not supported");
            out.result = kTextHadErrors;
            listBadArgument(out.badArguments, argument);
            continue;
        }
        // /l and /log take the argument after them as their path and store nothing: the installer gets /l from the
        // composed command, with its path.
        if (row->takesNext) {
            if (const char* why = logPathRefusal(args, i + 1)) {
                // The next argument is left to be read as what it is, so a /s after /l still counts.
                sink.report("arg " + argument + " is incorrect: " + why +
                            (i + 1 < args.size() ? " (" + args[i + 1] + ")" : std::string()));
                out.result = kTextHadErrors;
                listBadArgument(out.badArguments, argument);
            } else if (std::strcmp(row->name, "/log") == 0) {
                out.logFolderGiven = true;
                out.logFolder = args[++i];
            } else {
                out.logFileGiven = true;
                out.logModes = argument.substr(2);
                out.logFile = args[++i];
            }
            continue;
        }
        if (row->msiPassThrough) out.passThrough += " " + argument;
        const int32_t loaded = sink.load(storedTextFor(*row, argument));
        if (loaded != 0 || !sink.present(row->name)) {
            out.result = loaded != 0 ? loaded : kTextHadErrors;
            sink.report("Loading arg " + argument + " failed with " + std::to_string(out.result) + ": the value of " +
                        row->name + " is not one it takes; it takes " + acceptedValues(*row));
            listBadArgument(out.badArguments, argument);
        }
    }
    return out;
}

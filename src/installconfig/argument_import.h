// Reading the launcher's arguments into a configuration: which option each argument is, what it stores, what
// reaches the installer, and the installer log path after /l. Portable, so the native fuzzer runs it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "installconfig/option_table.h"

// True when `argument` is `row`'s option: the key part (before the first "=" or ":") compared without regard
// to letter case, by prefix for prefix rows (followed only by the row's tail characters, when it has them); an
// argument with a separator is never a switch and one without is only a switch.
bool argumentMatchesOption(const OptionDescriptor& row, const std::string& argument);

// The first row in list order that `argument` matches, or null.
const OptionDescriptor* findOptionFor(const std::string& argument, const OptionDescriptor* rows, size_t count);

// The settings text an argument stores. A switch stores its own name however it was typed (so /S is the
// switch /s), a prefix row its name; any other option stores the argument, whose value keeps its letter case.
std::string storedTextFor(const OptionDescriptor& row, const std::string& argument);

// True for the arguments that ask for the usage text: /?, -? and /help, in any letter case.
bool isHelpArgument(const std::string& argument);

// True when the arguments (element 0 the program) ask for a silent run on their own: /s, -download or
// INSTALL_SILENT=Enable|1. The help needs this before the configuration is read.
bool argumentsAskSilence(const std::vector<std::string>& args);

// What one pass over the arguments came to.
struct ArgumentImport {
    int32_t result = 0;         // 0, or the code of the last failing argument
    std::string badArguments;   // each failing argument as "arg"; in command-line order
    std::string passThrough;    // " " + each argument the installer takes unchanged
    bool logFileGiven = false;  // /l was followed by a path
    std::string logFile;
    std::string logModes;       // what followed /l, as typed ("*v"); empty for a bare /l
    bool logFolderGiven = false;  // /log was followed by a folder
    std::string logFolder;
};

// Why the argument after /l or /log cannot be the path it names (it is missing, or it looks like an option or a
// switch that was meant for the launcher), or null when it can.
const char* logPathRefusal(const std::vector<std::string>& args, size_t index);

// The folder given after /log (the last one given), when one is there in a usable form. The log is placed by it
// before the configuration is read, so this reads the arguments alone (element 0 the program).
std::optional<std::string> logFolderArgument(const std::vector<std::string>& args);

// How a pass stores and reports: `load` loads a settings text into the configuration and returns its result,
// `present` tells whether a key is in it afterwards, `report` receives each ERROR record's text.
struct ArgumentSink {
    std::function<int32_t(const std::string& text)> load;
    std::function<bool(const char* key)> present;
    std::function<void(const std::string& error)> report;
};

// One pass over args[1..]: every argument is matched, stored and checked; the loop never stops early so that
// every bad argument is reported together.
ArgumentImport importArguments(const std::vector<std::string>& args, const OptionDescriptor* rows, size_t count,
                               const ArgumentSink& sink);

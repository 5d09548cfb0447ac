// Composing the installer engine's command line in the flow's fixed buffers.
#pragma once

#include <cstddef>
#include <string>

// Capacity of every command buffer of the flow, in characters including the terminator.
constexpr size_t kCommandBufferSize = 2048;
// The first formatting step of the base command writes at most this much.
constexpr size_t kBaseCommandLimit = 1024;
// The language that needs no transform.
constexpr unsigned kEnglishLangId = 1033;

// Silent mode: " /qn" unless the arguments hold "/qn" already, and the default feature list unless
// ADDLOCAL was given. False (and a logged error) when the arguments would not fit.
bool AppendSilentArguments(char (&installerArguments)[kCommandBufferSize], bool addLocalSet);

// Appends " INSTALLDIR=<dir> " to `command`, quoting `dir` unless it is quoted already.
bool AppendInstallDirArgument(char (&command)[kCommandBufferSize], const char* dir);

struct InstallerCommandParts {
    const char* msiexecPath;
    const char* msiPath;
    const char* installerArguments;
    unsigned langId;
    std::string msiLogFile;
    const char* installDir;
    bool noStartMenu;
    std::string msiLogModes;  // after /l, as the administrator typed them ("*v")
};

// The whole engine command line. False (and a logged error) when a piece does not fit: a command is never cut.
bool ComposeInstallerCommand(char (&command)[kCommandBufferSize], const InstallerCommandParts& parts);

// The exit codes of the launcher and of the steps that end it. Codes of the engine itself are passed through
// unchanged; the two that a successful run may end with are named so callers can tell them from failures.
#pragma once

constexpr int kExitSuccess = 0;                 // installed
constexpr int kExitNoKitDatabase = 1;          // the launcher carries no kit database
constexpr int kExitFailed = -1;                // the guard, a same-version removal or the extraction failed
constexpr int kExitEngineNotFound = -3;        // the installer engine's location is unknown
constexpr int kExitConfigurationRefused = -80; // the options or a settings file were refused
// A link, a second name or a changed payload file below the launcher. Negative, so that no Win32 error of a
// payload write (ERROR_ACCESS_DENIED is 5) can be taken for it.
constexpr int kExitTampered = -5;
constexpr int kExitDiskFull = 112;             // ERROR_DISK_FULL: too little free space for the payload
constexpr int kExitPathTooLong = 206;          // ERROR_FILENAME_EXCED_RANGE: a path does not fit its buffer
constexpr int kExitFunctionFailed = 1627;      // ERROR_FUNCTION_FAILED: a program could not be run, or the run broke
constexpr int kExitCommandTooLong = 1639;      // ERROR_INVALID_COMMAND_LINE: a command does not fit its buffer
constexpr int kExitEngineRebootStarted = 1641; // from the engine: done, and a restart is under way
constexpr int kExitEngineRebootRequired = 3010; // from the engine: done, a restart completes it
constexpr int kExitInstallerBusy = 1618;       // ERROR_INSTALL_ALREADY_RUNNING: another run kept the installer
constexpr int kExitEngineSucceeded = 1707;     // from the engine: ERROR_INSTALL_SUCCESS, installed

// What each code means to whoever started the launcher; the usage text lists these.
struct ExitCodeMeaning {
    const char* codes;
    const char* meaning;
};
inline constexpr ExitCodeMeaning kExitCodeMeanings[] = {
    {"0, 1707", "installed (with /uninstall: removed, or nothing was installed)"},
    {"3010", "installed or removed; a restart completes it"},
    {"1641", "installed or removed; Windows is restarting"},
    {"1618", "another installation kept the Windows Installer busy: try again later (after a removal of this"
             " version the kit stays removed until that retry)"},
    {"-1", "another Zolt installation runs, a newer build is installed, or a removal failed or cannot be done"},
    {"-3", "the Windows Installer cannot be found"},
    {"-5", "something below the launcher was tampered with (see the log)"},
    {"-80", "the configuration was refused"},
    {"1", "the launcher carries no kit to install"},
    {"112", "too little free space in the common application data folder for the payload; nothing was changed"},
    {"1639", "an option does not fit the installer's command line"},
};

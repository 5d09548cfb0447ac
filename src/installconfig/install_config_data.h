// InstallConfigData: the installer's configuration, loaded from defaults, runtime settings, install
// configuration file and command line, and read by the installation flow through typed accessors.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The result code of an option refused by the installer (bad argument, unsupported or unreadable option).
constexpr int32_t kOptionRefused = 3090;

class ConfigPipeline;

// The command line as UTF-8 arguments, element 0 the program; empty for an empty command line, nullopt when it
// cannot be split (after an ERROR record). The one split of the run: help, /check and the options read it.
std::optional<std::vector<std::string>> splitCommandLine(const wchar_t* commandLine);

// One option's value as the run uses it, and the source that set it.
struct EffectiveOption {
    std::string name;
    std::string value;   // the text, or "(set)" for a switch
    std::string source;  // "built-in default", "runtime settings file", "install configuration file", "command line"
    std::string notApplied;  // why the run does not apply the value as given; empty when it does
};

class InstallConfigData {
public:
    // Registers the option rules and loads the defaults; a failing settings call raises settings::Exception.
    explicit InstallConfigData(HINSTANCE moduleInstance);
    ~InstallConfigData();
    InstallConfigData(const InstallConfigData&) = delete;
    InstallConfigData& operator=(const InstallConfigData&) = delete;

    // The whole pipeline over the process's wide command line; 0 or the first failing code.
    int LoadConfigSettings(const wchar_t* commandLine);
    int LoadConfigSettings(const std::vector<std::string>& args);

    // Runtime settings file around the installer engine. Before anything is changed on the machine: 0 when the
    // export will be able to write (or delete) it, else 306 after an ERROR record and, unless silent, the
    // message box. Then written before the engine runs, and put back after a failure.
    int checkRuntimeConfigWritable();
    // Before anything is written: removes what stopped runs left beside the runtime settings file (their
    // temporary and set-aside files), each only when it is a plain file with one name; the number removed.
    int removeSettingsLeftovers();
    int exportRuntimeConfig();
    // Removes the runtime settings file (an uninstall asked to forget the settings) through the handle it was
    // read by, never by its path again: 0 (also when there is none) or the Win32 error code.
    DWORD removeRuntimeSettingsFile();
    int RestoreConfigSettings();

    // What the flow reads, each from the working configuration. A failing read raises settings::Exception.
    bool isSilent() const;
    // The language asked for with /lang; empty when not given.
    std::optional<LANGID> language() const;
    // Option values in the ANSI code page, as the engine's command line takes them; empty when not given.
    std::optional<std::string> publicRuntimeDir() const;
    std::optional<std::string> installDir() const;
    // The arguments the installer engine takes unchanged, gathered from the command line.
    std::optional<std::string> installerArguments() const;
    // REBOOT=ReallySuppress: not even a restart the engine asks for at its end.
    bool rebootReallySuppressed() const;
    bool startMenuSuppressed() const;
    // ADDLOCAL was given: the features are chosen, the silent defaults do not add their own.
    bool featuresChosen() const;
    bool autoUpdateOn() const;
    // The installer engine's log path given after /l; empty when none.
    std::string installerLogFile() const;
    // The log modes typed after /l ("*v"), empty for a bare /l.
    std::string installerLogModes() const;
    // Seconds to wait for another installation's hold on the Windows Installer: INSTALLER_WAIT or 600.
    int installerWaitSeconds() const;
    // "/check" (or "-check"): the run only says what it would do.
    bool checkAsked() const;
    // "/uninstall" (or "-uninstall"): the run removes what the launcher placed instead of installing.
    bool uninstallAsked() const;
    // "/removesettings": an uninstall also removes the runtime settings file and the update policy.
    bool removeSettingsAsked() const;
    // Every option set in the working configuration, in descriptor order, with where its value came from.
    std::vector<EffectiveOption> effectiveOptions() const;

private:
    std::unique_ptr<ConfigPipeline> pipeline;
};

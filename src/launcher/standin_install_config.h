// Stand-in for the installer configuration; the real InstallConfigData replaces this file.
// It knows only "/s", "/l <log>", INSTALLDIR= and MSI_CMDLINE= from the command line; AUTO_UPDATE is on.
#pragma once

#include <windows.h>

#include <map>
#include <string>

class InstallConfigData {
public:
    explicit InstallConfigData(HINSTANCE module);

    // 0 on success.
    int LoadConfigSettings(const wchar_t* commandLine);

    bool isSilent() const;
    bool isOptionSet(const std::string& name) const;
    // `index` is the option's position in the value-option table (INSTALLDIR 0, ..., MSI_CMDLINE 11).
    std::string getValueAnsi(int index) const;
    // `index` is the option's position in the flag-option table (AUTO_UPDATE 2, NOSTARTMENU 16).
    bool isFlagOn(int index) const;
    bool getFlag(int index) const;
    int getLanguageId() const;
    std::string getMsiLogFile() const;

    int exportRuntimeConfig();
    int RestoreConfigSettings();

private:
    std::map<std::string, std::string> options;
    std::string msiLogFile;
};

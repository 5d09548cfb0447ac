// The install configuration file named by INSTALLCFG: opened once, read through that handle and held for
// the run, with the principals besides the machine's administrators who could change it.
#pragma once

#include <string>
#include <vector>

#include "installconfig/held_file.h"

class InstallConfigFile {
public:
    // `path` is UTF-8 as given; the engine's name checks apply (310, 311, 312 in result()).
    explicit InstallConfigFile(const std::string& path);

    const std::string& path() const { return givenPath; }
    int32_t result() const { return code; }
    const std::string& text() const { return held.text(); }
    // Who other than SYSTEM, administrators, TrustedInstaller and the file's owner may change the file or the
    // folder it is in (SID texts); empty when nobody.
    const std::vector<std::string>& writers() const { return otherWriters; }

private:
    std::string givenPath;
    int32_t code = 304;
    HeldFile held;
    UniqueFile folder;
    std::vector<std::string> otherWriters;
};

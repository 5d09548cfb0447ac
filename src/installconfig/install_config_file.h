// The install configuration file named by INSTALLCFG: opened once, read through that handle and held for
// the run, with the principals besides the machine's administrators who could change it.
#pragma once

#include <string>
#include <vector>

#include "installconfig/held_file.h"
#include "platform/link_check.h"

class InstallConfigFile {
public:
    // `path` is UTF-8 as given; the engine's name checks apply (310, 311, 312 in result()).
    explicit InstallConfigFile(const std::string& path);

    const std::string& path() const { return givenPath; }
    int32_t result() const { return code; }
    const std::string& text() const { return held.text(); }
    // Who other than SYSTEM, administrators and TrustedInstaller may change the file or the folder it is in: SID
    // texts, an owner's followed by " (owner of the file)" or " (owner of its folder)"; empty when nobody.
    const std::vector<std::string>& writers() const { return otherWriters; }

private:
    std::string givenPath;
    int32_t code = 304;
    HeldFile held;
    UniqueFile folder;
    std::vector<std::string> otherWriters;

    // Adds the untrusted owner and grantees of an entry, each principal once.
    void addWriters(PSECURITY_DESCRIPTOR descriptor, EntryKind kind, const char* whose);
};

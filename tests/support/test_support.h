// Test helpers shared by the Windows-side suites: a private log file, temporary folders, files and sibling tools.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win_handles.h"

namespace testing_support {

// Points the process log at a fresh file for the lifetime of the object and restores the old path after.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::string& path() const { return path_; }
    // The file's bytes as stored (CR LF line ends).
    std::string raw() const;
    // The records' "\tLEVEL: message" lines, without the tab and CR LF.
    std::vector<std::string> messages() const;
    // How many record messages contain `text`.
    int count(const std::string& text) const;
    bool contains(const std::string& text) const { return count(text) > 0; }

private:
    std::string path_;
    std::string previous_;
};

// A fresh empty folder below the temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// A registry key a test creates and so owns. When the test starts, the part of `path` that does not exist yet
// is what the test may create; a key that is already there belongs to someone else, wasPresent() says so, and
// remove() leaves it alone. remove() (and the destructor) deletes the created part with everything below it.
class OwnedKey {
public:
    OwnedKey(HKEY root, const std::string& path, REGSAM view);
    ~OwnedKey() { remove(); }
    OwnedKey(const OwnedKey&) = delete;
    OwnedKey& operator=(const OwnedKey&) = delete;
    bool wasPresent() const { return created_.empty(); }
    void remove() const;

private:
    HKEY root_;
    REGSAM view_;
    std::string created_;  // the topmost missing key on `path` when the test started
};

// The user's temporary folder without a trailing separator.
std::string tempRoot();
// The user's LocalLow folder, below which the launcher keeps its payload and the guard flag.
std::string localLowFolder();
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
void removeTree(const std::string& path);

// The Unix path of a Windows path under Wine (its last part need not exist); empty elsewhere.
std::string unixPath(const std::string& windowsPath);
// Runs `command` with the Unix shell of the Wine machine, as a local user could at the same time, and waits for
// its end; its exit status, or -1 when it cannot be run or does not end within two minutes.
int runUnixShell(const std::string& command);
// Makes `link` a Unix symbolic link to `target` (both Windows paths): what a junction is on Windows, a link the
// user may make and retarget at any time. False when it cannot be made.
bool makeUnixLink(const std::string& target, const std::string& link);
// The engine log switch the launcher appends to each engine command line (' /l*v "<folder>\tbx-msi-....log"'),
// when the line ends with one: its path, and the line without it. Tests about the rest of a command compare that.
std::string engineLogOf(const std::string& commandLine);
std::string withoutEngineLog(const std::string& commandLine);

// The folder of the running test executable, where the build puts the helper tools too.
std::string exeDir();
std::string toolPath(const std::string& exeName);

// The self-relative descriptor written as `sddl`; a test failure (and an empty owner) when it does not convert.
LocalMemory<PSECURITY_DESCRIPTOR> descriptorFromSddl(const std::string& sddl);
LocalMemory<PSECURITY_DESCRIPTOR> descriptorFromSddl(const std::wstring& sddl);

// The processes running `image` (full path, any letter case) that have not ended within `graceMs`: a child that
// was created and never resumed never ends. With `endThem`, each one found is ended, so it is reported once.
std::vector<DWORD> processesThatDoNotEnd(const std::string& image, DWORD graceMs, bool endThem);

}  // namespace testing_support

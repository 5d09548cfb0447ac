// Running the real launcher from tests: its exit code, its log, the engine it finds and the product registry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

std::string binDir();
std::string tempDir();
std::string readFile(const std::string& path);

// The launcher's own log, "zusched.log" in the temporary folder.
std::string launcherLogPath();

// A started launcher process; `wait` returns its full exit code.
class Launcher {
public:
    explicit Launcher(const std::string& arguments);
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;
    DWORD wait(DWORD timeoutMs = 300000);
    void kill();

private:
    PROCESS_INFORMATION process{};
};

// Runs the launcher to its end.
DWORD runLauncher(const std::string& arguments);

// Points "InstallerLocation" at a folder holding the status-writing msiexec stand-in while it lives.
class StandInEngine {
public:
    StandInEngine();
    ~StandInEngine();
    StandInEngine(const StandInEngine&) = delete;
    StandInEngine& operator=(const StandInEngine&) = delete;
    // The command lines the stand-in was started with, one per run.
    std::vector<std::string> runs() const;
    const std::string& recordPath() const { return record; }

private:
    std::string folder;
    std::string record;
    std::string previousLocation;
};

// Registry helpers in one view of HKEY_LOCAL_MACHINE.
void deleteTree(REGSAM view, const std::string& path);
bool keyExists(REGSAM view, const std::string& path);

}  // namespace e2e

// Running the real launcher from tests: its exit code, its log, the engine it finds and the product registry.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "process/exit_codes.h"
#include "recording_engine.h"
#include "test_support.h"

namespace e2e {

std::string binDir();
std::string tempDir();
std::string readFile(const std::string& path);

// The launcher's own log, "zusched.log" in the temporary folder.
std::string launcherLogPath();

// The package cache below the common application data folder: this kit's folder (named by its product code),
// this build's folder in it, and the run folders there now (each run writes into a new one).
std::string cacheProductFolder();
std::string cacheBuildFolder();
std::vector<std::string> cacheRunFolders();
// `text` with each run folder of this build's cache folder (8 hexadecimal digits) written "<run>", so that a
// command line can be compared character for character.
std::string withRunFolderAsPlaceholder(const std::string& text);
// The folder of the database a recorded engine command line installs ("/i \"...\""); empty when there is none.
std::string databaseFolderOf(const std::string& commandLine);

// While it lives, the package cache's first folder (below the common application data folder, where any user may
// add a folder) is a user's Unix link to `target`, standing in for a junction; the folder that was there is put
// back after.
class CacheFolderLink {
public:
    explicit CacheFolderLink(const std::string& target);
    ~CacheFolderLink();
    CacheFolderLink(const CacheFolderLink&) = delete;
    CacheFolderLink& operator=(const CacheFolderLink&) = delete;
    bool made() const { return linked; }
    const std::string& path() const { return place; }
    // Points the link at `target` in one rename, as its owner may at any time.
    bool retarget(const std::string& target) const;

private:
    std::string place;
    std::string kept;
    bool linked = false;
};

// What a test sets up in the run's way for as long as it lives.
using Obstacle = std::shared_ptr<void>;
// The guard flag held, as another installation of the kit holds it.
Obstacle holdGuardFlag();
// The Windows Installer's mutex owned, as another installation owns it.
Obstacle busyInstaller();

// A started launcher process; `wait` returns its full exit code.
class Launcher {
public:
    explicit Launcher(const std::string& arguments);
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;
    DWORD wait(DWORD timeoutMs = 300000);
    void kill();
    HANDLE handle() const { return process.hProcess; }

private:
    PROCESS_INFORMATION process{};
};

// Runs the launcher to its end.
DWORD runLauncher(const std::string& arguments);
// Runs the launcher to its end; `log` receives what this run added to the launcher's log.
DWORD runLauncherLogged(const std::string& arguments, std::string& log);

// Starts a program, waits for its end and returns its full exit code; a start or wait that fails is a failure
// of the test.
DWORD runProgram(const std::string& program, const std::string& arguments, DWORD timeoutMs = 240000);

// A named launcher exit code as the full 32-bit code a Windows parent reads (-1 reads 0xFFFFFFFF).
constexpr DWORD exitCode(int named) { return static_cast<DWORD>(named); }

// Points "InstallerLocation" at a folder holding the status-writing msiexec stand-in while it lives.
class StandInEngine {
public:
    StandInEngine();
    ~StandInEngine();
    StandInEngine(const StandInEngine&) = delete;
    StandInEngine& operator=(const StandInEngine&) = delete;
    // The command lines the stand-in was started with, one per run, without the engine log switch.
    std::vector<std::string> runs() const;
    const std::string& recordPath() const { return record; }
    // Waits until the stand-in has recorded at least `count` runs; false when that takes too long.
    bool waitForRuns(size_t count, DWORD timeoutMs = 60000) const;
    // From now on each stand-in run, once recorded, stays running until release(): an installation in
    // progress for exactly as long as a test needs one.
    void hold();
    // Lets held runs end and later runs end at once.
    void release();

private:
    std::string folder;
    std::string record;
    testing_support::InstallerLocationOverride location;
    std::string holdName;
    HANDLE holdEvent = nullptr;
};

// The product keys the launcher's runs create: kits and runtimes in both views, the auto-update component and
// its policy. The suite's fresh prefix has none of them; remove() deletes what was created since.
class ProductKeys {
public:
    ProductKeys();
    bool anyPresent() const;
    void remove() const;

private:
    std::vector<std::unique_ptr<testing_support::OwnedKey>> keys;
};

// Removes a product with the real engine when it is registered: a test uninstalls only what its runs installed.
void uninstallIfRegistered(const std::string& productCode);

// Registry helpers in one view of HKEY_LOCAL_MACHINE.
void deleteTree(REGSAM view, const std::string& path);
bool keyExists(REGSAM view, const std::string& path);

}  // namespace e2e

// The launcher decides before it changes anything: every refusal before the engine leaves an installed machine as
// it found it, /check says what a run would do and changes nothing, and a kit run that finds the Windows Installer
// busy after the removal waits and installs again.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iostream>
#include <thread>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "buildinfo/build_constants.h"
#include "buildinfo/payload_resources.h"
#include "config_test_support.h"
#include "e2e_support.h"
#include "launcher/payload.h"
#include "mutex_held_elsewhere.h"
#include "process/installer_lock.h"
#include "products/installed_products.h"
#include "products/product_codes.h"
#include "test_support.h"

namespace {

using testing_support::localLowFolder;

const std::string kOwnVersion = buildconstants::productVersion;
const std::string kKitKey = std::string(zoltkeys::kitRoot) + "\\" + kOwnVersion;
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kSettingsAsFound = "EULA=Enable\n";

std::string withoutCr(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

REGSAM installView() { return installArch() == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }
std::string kitCode() { return kitProductCode(kOwnVersion, installArch() == 32); }
std::string cabinetName(const char* prefix) {
    return std::string(prefix) + buildconstants::versionMajor + buildconstants::versionMinor +
           buildconstants::versionMicro + buildconstants::versionUpdate + "0.cab";
}

void writeKey(const std::string& path, const std::string& build) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | installView(), nullptr, &key, nullptr));
    if (!build.empty())
        RegSetValueExA(key, "BuildNumber", 0, REG_SZ, reinterpret_cast<const BYTE*>(build.c_str()),
                       static_cast<DWORD>(build.size() + 1));
    RegCloseKey(key);
}

std::string buildNumberOfInstalledKit() {
    char value[64] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kKitKey.c_str(), "BuildNumber", RRF_RT_REG_SZ | installView(), nullptr,
                     value, &size) != ERROR_SUCCESS)
        return "<none>";
    return value;
}

using e2e::busyInstaller;
using e2e::holdGuardFlag;
using e2e::Obstacle;

Obstacle squatEvent() {
    return Obstacle(CreateEventA(nullptr, TRUE, FALSE, kCabExtractEventName), [](HANDLE h) { CloseHandle(h); });
}

Obstacle newerBuild() {
    writeKey(kKitKey, std::to_string(buildconstants::buildNumber + 1));
    return nullptr;
}

// A user's link where the package cache's first folder goes, which Wine cannot set aside as itself: found when
// the payload is written, a tampering before anything is removed.
Obstacle linkInPlaceOfTheCache() {
    auto theirs = std::make_shared<testing_support::TempDir>();
    auto link = std::make_shared<e2e::CacheFolderLink>(theirs->path());
    EXPECT_TRUE(link->made());
    return std::make_shared<std::pair<std::shared_ptr<testing_support::TempDir>, std::shared_ptr<e2e::CacheFolderLink>>>(
        theirs, link);
}

class DecideFirst : public ::testing::Test {
protected:
    void SetUp() override { cleanRegistry(); }
    void TearDown() override {
        cleanRegistry();
        DeleteFileA(leftover().c_str());
    }

    static void cleanRegistry() {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) e2e::deleteTree(view, zoltkeys::kitRoot);
        e2e::deleteTree(installView(), kUninstallKey + kitCode());
    }

    // An installed kit of this version and build, and a runtime settings file the run would rewrite.
    void installedMachine() {
        cleanRegistry();
        writeKey(kKitKey, std::to_string(buildconstants::buildNumber));
        writeKey(kUninstallKey + kitCode(), "");
        runtimeFile.write(kSettingsAsFound);
        // What a killed run left beside the settings file: a run that gets to its changes sweeps it.
        testing_support::writeFile(leftover(), "left by a killed run");
        runFoldersAsFound = e2e::cacheRunFolders();
    }

    DWORD run(const std::string& arguments, const std::string& exitCodes = "0") {
        engine.clearRecord();
        engine.setExit(exitCodes);
        DeleteFileA(e2e::launcherLogPath().c_str());
        const DWORD code = e2e::runLauncher(arguments);
        log = e2e::readFile(e2e::launcherLogPath());
        return code;
    }

    // Nothing ran, nothing was removed or written: registry, settings file, payload folder and guard as found.
    void expectMachineAsFound(const std::string& build) {
        EXPECT_TRUE(engine.commandLines().empty()) << e2e::readFile(engine.recordPath()) << log;
        EXPECT_EQ(build, buildNumberOfInstalledKit());
        EXPECT_TRUE(e2e::keyExists(installView(), kUninstallKey + kitCode()));
        EXPECT_EQ(kSettingsAsFound, withoutCr(runtimeFile.read()));
        EXPECT_EQ(runFoldersAsFound, e2e::cacheRunFolders()) << "a payload folder was made";
        EXPECT_TRUE(testing_support::fileExists(leftover())) << "a refused run swept the settings folder";
    }

    std::string leftover() const { return runtimeFile.path() + ".0123456789abcdef.tmp"; }

    config_test::RuntimeFileGuard runtimeFile;
    testing_support::RecordingEngine engine;
    std::string log;
    std::vector<std::string> runFoldersAsFound;
};

struct Refusal {
    const char* name;
    std::function<Obstacle()> obstacle;
    const char* arguments;
    int exitCode;
    const char* logged;  // what the log says about it
};

const std::vector<Refusal>& refusals() {
    static const std::vector<Refusal> cases = {
        {"a refused option", [] { return Obstacle(); }, "/s EULA=Disable FOO=1", kExitConfigurationRefused,
         "Error occurred while loading configuration settings."},
        {"another installation holds the guard", holdGuardFlag, "/s EULA=Disable", kExitFailed,
         "Another Zolt installation is in progress."},
        {"someone else made the cabinet event", squatEvent, "/s EULA=Disable", kExitFailed,
         "The run ended in createCabinetEvent"},
        {"the Windows Installer stays busy", busyInstaller, "/s EULA=Disable INSTALLER_WAIT=0", kExitInstallerBusy,
         "giving up"},
        {"a newer build is installed", newerBuild, "/s EULA=Disable", kExitFailed,
         "A newer build of the kit of this version is installed"},
        {"a link in the package cache's place", linkInPlaceOfTheCache, "/s EULA=Disable", kExitTampered,
         "cannot be set aside"},
    };
    return cases;
}

TEST_F(DecideFirst, EachRefusalBeforeTheEngineLeavesTheMachineAsFound) {
    for (const Refusal& c : refusals()) {
        SCOPED_TRACE(c.name);
        installedMachine();
        const Obstacle obstacle = c.obstacle();
        const std::string build = buildNumberOfInstalledKit();
        EXPECT_EQ(e2e::exitCode(c.exitCode), run(c.arguments)) << log;
        EXPECT_NE(std::string::npos, log.find(c.logged)) << log;
        expectMachineAsFound(build);
    }
}

TEST_F(DecideFirst, CheckSaysWhatTheRunWouldDoAndChangesNothing) {
    struct Case {
        const char* name;
        std::function<Obstacle()> obstacle;
        const char* arguments;
        int exitCode;
        const char* eulaLine;  // the option as the check lists it, with its source
    } cases[] = {
        {"the run would go ahead", [] { return Obstacle(); }, "/s /check EULA=Disable", kExitSuccess,
         "EULA = Disable   [command line]"},
        {"any letter case, and the dash form", [] { return Obstacle(); }, "-CHECK /s EULA=Disable", kExitSuccess,
         "EULA = Disable   [command line]"},
        {"another installation holds the guard", holdGuardFlag, "/s /Check EULA=Disable", kExitFailed,
         "EULA = Disable   [command line]"},
        {"the Windows Installer is busy, and the run would wait for it", busyInstaller, "/s /check EULA=Disable",
         kExitSuccess, "EULA = Disable   [command line]"},
        {"the Windows Installer is busy, and the run would not wait", busyInstaller,
         "/s /check EULA=Disable INSTALLER_WAIT=0", kExitInstallerBusy, "EULA = Disable   [command line]"},
        {"someone else made the cabinet event", squatEvent, "/s /check EULA=Disable", kExitFailed,
         "EULA = Disable   [command line]"},
        {"a newer build is installed", newerBuild, "/s /check", kExitFailed,
         "EULA = Enable   [runtime settings file]"},
        {"a refused option", [] { return Obstacle(); }, "/s /check FOO=1", kExitConfigurationRefused, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        installedMachine();
        const Obstacle obstacle = c.obstacle();
        const std::string build = buildNumberOfInstalledKit();
        EXPECT_EQ(e2e::exitCode(c.exitCode), run(c.arguments)) << log;
        expectMachineAsFound(build);
        if (c.exitCode == kExitConfigurationRefused) continue;
        EXPECT_NE(std::string::npos, log.find("Only a check was asked for; nothing is changed.")) << log;
        EXPECT_NE(std::string::npos, log.find("Expected exit code: " + std::to_string(c.exitCode))) << log;
        EXPECT_NE(std::string::npos, log.find(c.eulaLine)) << log;
        EXPECT_NE(std::string::npos, log.find("AUTO_UPDATE = Enable   [built-in default]")) << log;
        if (c.exitCode == kExitSuccess) {
            EXPECT_NE(std::string::npos, log.find(" /x " + kitCode() + " /qn REBOOT=ReallySuppress")) << log;
            EXPECT_NE(std::string::npos, log.find("/qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1")) << log;
            // The payload's folder in the package cache, the space it needs, and the engine told to read it there.
            EXPECT_NE(std::string::npos, log.find("  " + e2e::cacheBuildFolder() + "\\")) << log;
            EXPECT_NE(std::string::npos, log.find(" bytes of free space needed)")) << log;
            EXPECT_NE(std::string::npos, log.find(" /i \"" + e2e::cacheBuildFolder() + "\\")) << log;
        }
    }
}

// Another installation holds the guard and is changing the registry a run would read: a run refused by the guard
// reads nothing else, and its log says only why it was refused, even where the machine looks refusable otherwise.
TEST_F(DecideFirst, ARunTheGuardRefusesReadsNothingElse) {
    installedMachine();
    writeKey(kKitKey, std::to_string(buildconstants::buildNumber + 1));
    const Obstacle guard = holdGuardFlag();
    EXPECT_EQ(e2e::exitCode(kExitFailed), run("/s")) << log;
    EXPECT_NE(std::string::npos, log.find("Another Zolt installation is in progress.")) << log;
    EXPECT_EQ(std::string::npos, log.find("newer build")) << log;
    EXPECT_EQ(std::string::npos, log.find("ZoltKey")) << log;
    size_t errors = 0;
    for (size_t at = log.find("\tERROR: "); at != std::string::npos; at = log.find("\tERROR: ", at + 1)) ++errors;
    EXPECT_EQ(1u, errors) << "only the run's ending names an error: " << log;
}

// Another installation that ends while the launcher waits for it: held until the launcher's log says it waits.
Obstacle installationThatEndsWhileTheRunWaits() {
    struct Installation {
        std::unique_ptr<testing_support::MutexHeldElsewhere> held =
            std::make_unique<testing_support::MutexHeldElsewhere>(kInstallerLockName);
        std::atomic<bool> stop{false};
        std::thread watcher{[this] {
            while (!stop && e2e::readFile(e2e::launcherLogPath()).find("waiting for it up to") == std::string::npos)
                Sleep(50);
            held.reset();
        }};
        ~Installation() {
            stop = true;
            watcher.join();
        }
    };
    return std::make_shared<Installation>();
}

// Whatever /check says is what the run does, in every situation a deployment can meet before the engine runs.
TEST_F(DecideFirst, CheckEndsWithTheCodeTheRunEndsWith) {
    const std::string missingFile = e2e::tempDir() + "\\tbx-no-such-file.cfg";
    testing_support::TempDir dir;
    const std::string badFile = dir.file("bad.cfg");
    testing_support::writeFile(badFile, "EULA=Maybe\n");
    struct Case {
        const char* name;
        bool installed;
        std::function<Obstacle()> obstacle;
        std::string arguments;
        int exitCode;
    } cases[] = {
        {"nothing installed", false, [] { return Obstacle(); }, "/s", kExitSuccess},
        {"the same build installed", true, [] { return Obstacle(); }, "/s", kExitSuccess},
        {"a newer build installed", true, newerBuild, "/s", kExitFailed},
        {"another installation of the kit runs", true, holdGuardFlag, "/s", kExitFailed},
        {"the Windows Installer busy, INSTALLER_WAIT=0", true, busyInstaller, "/s INSTALLER_WAIT=0",
         kExitInstallerBusy},
        {"the Windows Installer busy until the run has waited a moment", true, installationThatEndsWhileTheRunWaits,
         "/s INSTALLER_WAIT=120", kExitSuccess},
        {"someone else made the cabinet event", true, squatEvent, "/s", kExitFailed},
        {"a bad value of a known option", true, [] { return Obstacle(); }, "/s INSTALLER_WAIT=0x10",
         kExitConfigurationRefused},
        {"a bad configuration file", true, [] { return Obstacle(); }, "/s INSTALLCFG=" + badFile,
         kExitConfigurationRefused},
        {"a missing configuration file", true, [] { return Obstacle(); }, "/s INSTALLCFG=" + missingFile,
         kExitConfigurationRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.installed) installedMachine();
        else cleanRegistry();
        const Obstacle obstacle = c.obstacle();
        const DWORD checked = run("/check " + c.arguments);
        const std::string checkLog = log;
        const DWORD ran = run(c.arguments);
        EXPECT_EQ(e2e::exitCode(c.exitCode), checked) << checkLog;
        EXPECT_EQ(e2e::exitCode(c.exitCode), ran) << log;
        std::cout << c.name << ": /check " << static_cast<int>(checked) << ", run " << static_cast<int>(ran)
                  << std::endl;
    }
}

// A drive that fills up while the payload is written ends the run with the write's error before anything is
// removed: the installed kit stays, and the run's own folder does not.
TEST_F(DecideFirst, APayloadThatCannotBeWrittenLeavesTheInstalledKit) {
    installedMachine();
    engine.clearRecord();
    DeleteFileA(e2e::launcherLogPath().c_str());
    const std::string build = buildNumberOfInstalledKit();
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), e2e::runProgram(e2e::binDir() + "\\tbx-setup-writefail.exe", "/s"));
    log = e2e::readFile(e2e::launcherLogPath());
    EXPECT_NE(std::string::npos, log.find("ERROR: Installer : Wrapper.WriteFile (In small chunks)  failed with error 112"))
        << log;
    expectMachineAsFound(build);
}

// The first change is the removal of the installed kit: by then every payload file is in the package cache, read
// back whole, and the cabinet event is set, so the kit database's wait for its cabinets returns at once.
TEST_F(DecideFirst, ThePayloadIsCompleteWhenTheFirstRemovalStarts) {
    installedMachine();
    SetEnvironmentVariableA("MSIRECORDER_LIST", e2e::cacheBuildFolder().c_str());
    const DWORD code = run("/s");
    SetEnvironmentVariableA("MSIRECORDER_LIST", nullptr);
    EXPECT_EQ(0u, code) << log;
    const std::vector<std::string> runs = engine.commandLines();
    ASSERT_EQ(2u, runs.size()) << log;
    ASSERT_NE(std::string::npos, runs[0].find(" /x " + kitCode()));
    const std::string folder = e2e::databaseFolderOf(runs[1]);
    const std::string run = folder.substr(folder.find_last_of('\\') + 1);
    // What the removal saw, as it started.
    std::vector<std::string> seen;
    bool eventSet = false;
    for (const std::string& line : engine.records()) {
        if (line.rfind("cmd ", 0) == 0 && !seen.empty()) break;
        if (line == "event set") eventSet = true;
        if (line.rfind("file " + run + "\\", 0) == 0) seen.push_back(line.substr(5 + run.size() + 1));
    }
    EXPECT_TRUE(eventSet) << e2e::readFile(engine.recordPath());
    const std::unique_ptr<std::remove_pointer<HMODULE>::type, decltype(&FreeLibrary)> launcher(
        LoadLibraryExA((e2e::binDir() + "\\tbx-setup-e2e.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE),
        &FreeLibrary);
    ASSERT_TRUE(launcher);
    std::vector<std::string> expected;
    for (const auto& file : std::vector<std::pair<std::string, std::pair<WORD, const char*>>>{
             {std::string("tbx") + kOwnVersion + ".msi", {TBX_RES_KIT_MSI, TBX_RES_TYPE_INSTALLER}},
             {"au.msi", {TBX_RES_AU_MSI, TBX_RES_TYPE_INSTALLER}},
             {cabinetName("ss"), {TBX_RES_CAB_SS, "ZOLT_CAB9"}},
             {cabinetName("st"), {TBX_RES_CAB_ST, "ZOLT_CAB10"}},
             {cabinetName("sj"), {TBX_RES_CAB_SJ, "ZOLT_CAB7"}},
             {cabinetName("sz"), {TBX_RES_CAB_SZ, "ZOLT_CAB11"}}}) {
        HRSRC resource = FindResourceA(launcher.get(), MAKEINTRESOURCEA(file.second.first), file.second.second);
        ASSERT_NE(nullptr, resource) << file.first;
        expected.push_back(file.first + " " + std::to_string(SizeofResource(launcher.get(), resource)));
    }
    std::sort(seen.begin(), seen.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, seen) << e2e::readFile(engine.recordPath());
}

// After the removal the kit is gone: a busy installer then is waited for and the install runs again, and a
// 1618 that stays is the exit code deployment tools retry.
TEST_F(DecideFirst, AKitRunThatFindsTheInstallerBusyAfterTheRemovalRunsAgain) {
    struct Case {
        const char* name;
        const char* engineExits;  // removal, kit, kit again
        int exitCode;
    } cases[] = {
        {"the second install succeeds", "0,1618,0", kExitSuccess},
        {"the installer stays busy", "0,1618,1618", kExitInstallerBusy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        installedMachine();
        EXPECT_EQ(e2e::exitCode(c.exitCode), run("/s", c.engineExits)) << log;
        const std::vector<std::string> runs = engine.commandLines();
        ASSERT_EQ(3u, runs.size()) << e2e::readFile(engine.recordPath()) << log;
        EXPECT_NE(std::string::npos, runs[0].find(" /x " + kitCode()));
        EXPECT_NE(std::string::npos, runs[1].find("WRAPPER=1"));
        EXPECT_EQ(runs[1], runs[2]);
        EXPECT_NE(std::string::npos, log.find("Another installation took the Windows Installer after the removal"));
        EXPECT_EQ(c.exitCode == kExitInstallerBusy,
                  log.find("running the launcher again installs it") != std::string::npos)
            << log;
    }
    // Without a removal nothing is lost: a 1618 ends the run at once.
    cleanRegistry();
    EXPECT_EQ(e2e::exitCode(kExitInstallerBusy), run("/s", "1618")) << log;
    EXPECT_EQ(1u, engine.commandLines().size());
}

}  // namespace

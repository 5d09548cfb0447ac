// Races on the files and folders the elevated launcher uses, run as another local process would run them: a
// planted runtime settings file with a second name moving in and out of place, an install configuration file
// switching between two whole versions, and the kit folder renamed away for a folder of the racer's own. Every
// run must be unaffected.
#include <gtest/gtest.h>
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "buildinfo/build_constants.h"
#include "config_test_support.h"
#include "e2e_support.h"
#include "platform/win_handles.h"
#include "recording_engine.h"
#include "test_support.h"

namespace {

// Enough runs to meet the race many times, few enough for a busy machine.
constexpr int kRuns = 40;
// Runs of the whole shipped launcher, each meeting the racer's folder at least once.
constexpr int kLeafRuns = 20;

// The racer, from start until stop().
class Racer {
public:
    explicit Racer(const std::string& arguments) : event("TbxTrustRacer" + std::to_string(GetCurrentProcessId())) {
        stopEvent.reset(CreateEventA(nullptr, TRUE, FALSE, event.c_str()));
        std::string commandLine = "\"" + e2e::binDir() + "\\fileracer.exe\" " + arguments + " " + event;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            process.receive()))
            ADD_FAILURE() << "cannot start the racer: " << GetLastError();
    }
    ~Racer() { stop(); }

    // The number of changes the racer made.
    int stop() {
        if (!process.process()) return 0;
        SetEvent(stopEvent.get());
        WaitForSingleObject(process.process(), 60000);
        DWORD code = 0;
        GetExitCodeProcess(process.process(), &code);
        process.reset();
        return static_cast<int>(code);
    }

private:
    std::string event;
    UniqueHandle stopEvent;
    UniqueProcessInformation process;
};

class TrustRace : public ::testing::Test {
protected:
    void SetUp() override { engine.setExit("0"); }

    // The install command lines of one launcher run; its exit code in `code`.
    std::vector<std::string> run(const std::string& arguments, DWORD& code) {
        engine.clearRecord();
        code = e2e::runLauncher(arguments);
        std::vector<std::string> runs;
        for (const std::string& line : engine.commandLines())
            if (line.find(" /i \"") != std::string::npos) runs.push_back(line);
        return runs;
    }

    static void report(const char* race, int affected, int runs = kRuns) {
        std::cout << race << ": " << affected << " affected runs / " << runs << " runs" << std::endl;
    }

    config_test::RuntimeFileGuard runtimeFile;
    testing_support::TempDir dir;
    testing_support::RecordingEngine engine;
};

TEST_F(TrustRace, APlantedSettingsFileMovedInAndOutUnderASecondNameNeverReachesTheEngine) {
    const std::string planted = dir.file("planted.cfg");
    testing_support::writeFile(planted, "INSTALLDIR=C:\\Planted\nMSI_CMDLINE=PLANTED=1\n");
    runtimeFile.write("");
    DeleteFileA(runtimeFile.path().c_str());
    int affected = 0;
    Racer racer("links \"" + runtimeFile.path() + "\" \"" + planted + "\"");
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE(i);
        DWORD code = 0;
        const std::vector<std::string> runs = run("/s", code);
        EXPECT_EQ(0u, code);
        ASSERT_EQ(1u, runs.size());
        if (runs[0].find("PLANTED=1") != std::string::npos || runs[0].find("C:\\Planted") != std::string::npos)
            ++affected;
    }
    EXPECT_LT(0, racer.stop()) << "the racer never moved the file";
    report("second name moved in and out", affected);
    EXPECT_EQ(0, affected);
    // The planted file is left as it was.
    EXPECT_EQ("INSTALLDIR=C:\\Planted\nMSI_CMDLINE=PLANTED=1\n", testing_support::readFile(planted));
}

TEST_F(TrustRace, TheEngineAndTheExportTakeTheSameVersionOfASwitchingConfigurationFile) {
    const std::string versionA = dir.file("a.cfg");
    const std::string versionB = dir.file("b.cfg");
    const std::string installCfg = dir.file("install.cfg");
    testing_support::writeFile(versionA, "INSTALLDIR=C:\\VersionA\nEULA=Enable\n");
    testing_support::writeFile(versionB, "INSTALLDIR=C:\\VersionB\nEULA=Disable\n");
    testing_support::writeFile(installCfg, "INSTALLDIR=C:\\VersionA\nEULA=Enable\n");
    int affected = 0;
    Racer racer("versions \"" + installCfg + "\" \"" + versionA + "\" \"" + versionB + "\"");
    for (int i = 0; i < kRuns; ++i) {
        SCOPED_TRACE(i);
        DeleteFileA(runtimeFile.path().c_str());
        DWORD code = 0;
        const std::vector<std::string> runs = run("/s INSTALLCFG=\"" + installCfg + "\"", code);
        EXPECT_EQ(0u, code);
        ASSERT_EQ(1u, runs.size());
        const bool engineTookA = runs[0].find("INSTALLDIR=\"C:\\VersionA\"") != std::string::npos;
        const bool engineTookB = runs[0].find("INSTALLDIR=\"C:\\VersionB\"") != std::string::npos;
        const std::string exported = runtimeFile.read();
        const bool exportTookA = exported.find("EULA=Enable") != std::string::npos;
        const bool exportTookB = exported.find("EULA=Disable") != std::string::npos;
        EXPECT_TRUE(engineTookA != engineTookB) << runs[0];
        EXPECT_TRUE(exportTookA != exportTookB) << exported;
        if (engineTookA != exportTookA || engineTookB != exportTookB) ++affected;
    }
    EXPECT_LT(0, racer.stop()) << "the racer never switched the file";
    report("configuration file switching versions", affected);
    EXPECT_EQ(0, affected);
}

// The package cache's first folder and the common application data folder above it, where any user may add a
// folder and the racer renames.
std::string kitParent() {
    const std::string product = e2e::cacheProductFolder();
    const std::string maker = product.substr(0, product.find("\\Package Cache\\"));
    return maker.substr(0, maker.find_last_of('\\'));
}
std::string kitLeaf() { return kitParent() + "\\Zoltsys"; }

// The folders beside and in place of the cache's first folder: every name that starts with its name.
std::vector<std::string> leafFolders() {
    std::vector<std::string> folders;
    WIN32_FIND_DATAA found;
    UniqueFind find(FindFirstFileA((kitLeaf() + "*").c_str(), &found));
    if (!find) return folders;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(kitParent() + "\\" + found.cFileName);
    } while (FindNextFileA(find.get(), &found));
    return folders;
}

// The payload files anywhere below a folder (the databases and the cabinets).
int payloadFilesIn(const std::string& folder) {
    int count = 0;
    WIN32_FIND_DATAA found;
    UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find) return 0;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            count += payloadFilesIn(folder + "\\" + name);
        else if (name.size() > 4 && (name.substr(name.size() - 4) == ".msi" || name.substr(name.size() - 4) == ".cab"))
            ++count;
    } while (FindNextFileA(find.get(), &found));
    return count;
}

void removeLeafFolders() {
    for (const std::string& folder : leafFolders()) testing_support::removeTree(folder);
}

// The shipped launcher, which under Wine trusts no folder it finds (Wine reports the running account as every
// folder's owner), so that each run meets a folder it must replace. `log` receives what the run added.
DWORD runShippedLauncher(std::string& log) {
    const std::string before = e2e::readFile(e2e::launcherLogPath());
    const DWORD code = e2e::runProgram(e2e::binDir() + "\\tbx-setup.exe", "/s");
    const std::string after = e2e::readFile(e2e::launcherLogPath());
    log = after.size() >= before.size() ? after.substr(before.size()) : after;
    return code;
}

class LeafRace : public TrustRace {
protected:
    void SetUp() override {
        TrustRace::SetUp();
        removeLeafFolders();
    }
    void TearDown() override { removeLeafFolders(); }
};

// A racer that puts its folder back each time the launcher frees the name may win every try and stop the run
// (-5) before the engine starts; what it must never get is the payload written into its folder.
TEST_F(LeafRace, TheKitIsNeverWrittenIntoAFolderTheRacerPutInPlaceOfTheCachesFolder) {
    int affected = 0;
    int stopped = 0;
    Racer racer("leaf \"" + kitLeaf() + "\"");
    for (int i = 0; i < kLeafRuns; ++i) {
        SCOPED_TRACE(i);
        engine.clearRecord();
        std::string log;
        const DWORD code = runShippedLauncher(log);
        if (code == e2e::exitCode(kExitTampered)) {
            ++stopped;
            EXPECT_TRUE(engine.commandLines().empty()) << "the engine ran";
            EXPECT_NE(std::string::npos, log.find("ERROR: The payload folder " + kitLeaf())) << log;
        } else {
            EXPECT_EQ(0u, code) << log;
            EXPECT_FALSE(engine.commandLines().empty()) << "the engine did not run";
        }
        // A folder holding the racer's mark is the racer's: no payload file may be in one.
        for (const std::string& folder : leafFolders())
            if (testing_support::fileExists(folder + "\\racer.mark") && payloadFilesIn(folder) > 0) ++affected;
    }
    EXPECT_LT(0, racer.stop()) << "the racer never swapped the folder";
    report("kit folder swapped for the racer's", affected, kLeafRuns);
    std::cout << "runs stopped because the racer's folder kept coming back: " << stopped << std::endl;
    EXPECT_EQ(0, affected);
}

// Someone made the cache's folder first and keeps a handle with WRITE_DAC open on it, to grant themselves access
// again after any repair. Their folder is set aside, handle and all, and a new one takes its place; one their
// handle keeps in place stops the run before the engine starts.
TEST_F(LeafRace, AnUntrustedCacheFolderHeldOpenIsReplacedOrStopsTheRunNeverRepaired) {
    struct Case {
        const char* name;
        DWORD share;
        DWORD exitCode;
    } cases[] = {
        {"their handle lets it be renamed", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0},
        {"their handle keeps it in place", FILE_SHARE_READ | FILE_SHARE_WRITE, e2e::exitCode(kExitTampered)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeLeafFolders();
        ASSERT_TRUE(CreateDirectoryA(kitLeaf().c_str(), nullptr));
        testing_support::writeFile(kitLeaf() + "\\racer.mark", "theirs");
        UniqueFile theirs(CreateFileA(kitLeaf().c_str(), READ_CONTROL | WRITE_DAC | FILE_LIST_DIRECTORY, c.share,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(theirs);
        engine.clearRecord();
        std::string log;
        EXPECT_EQ(c.exitCode, runShippedLauncher(log)) << log;
        if (c.exitCode == 0) {
            EXPECT_NE(std::string::npos, log.find("a new one replaces it")) << log;
            EXPECT_FALSE(testing_support::fileExists(kitLeaf() + "\\racer.mark"));
            EXPECT_LT(0, payloadFilesIn(kitLeaf()));
            // Their handle reaches the folder set aside, not the new one.
            BY_HANDLE_FILE_INFORMATION held{};
            ASSERT_TRUE(GetFileInformationByHandle(theirs.get(), &held));
            UniqueFile now(CreateFileA(kitLeaf().c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            BY_HANDLE_FILE_INFORMATION placed{};
            ASSERT_TRUE(GetFileInformationByHandle(now.get(), &placed));
            EXPECT_FALSE(held.nFileIndexLow == placed.nFileIndexLow && held.nFileIndexHigh == placed.nFileIndexHigh);
        } else {
            EXPECT_TRUE(engine.commandLines().empty()) << "the engine ran";
            EXPECT_NE(std::string::npos, log.find("cannot be set aside")) << log;
            EXPECT_EQ("theirs", testing_support::readFile(kitLeaf() + "\\racer.mark"));
            EXPECT_EQ(0, payloadFilesIn(kitLeaf()));
        }
    }
}

}  // namespace

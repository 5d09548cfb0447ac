// Races on the files the elevated launcher reads, run as another local process would run them: a planted
// runtime settings file with a second name moving in and out of place, and an install configuration file
// switching between two whole versions. Every run must be unaffected.
#include <gtest/gtest.h>
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "config_test_support.h"
#include "e2e_support.h"
#include "platform/win_handles.h"
#include "recording_engine.h"
#include "test_support.h"

namespace {

// Enough runs to meet the race many times, few enough for a busy machine.
constexpr int kRuns = 40;

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

    static void report(const char* race, int affected) {
        std::cout << race << ": " << affected << " affected runs / " << kRuns << " runs" << std::endl;
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

}  // namespace

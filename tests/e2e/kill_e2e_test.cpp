// A launcher killed at points of its run: the runtime settings file stays whole (the old or the new one), and
// the next run leaves no temporary file and no child that never ran, and installs.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "config_test_support.h"
#include "e2e_support.h"
#include "platform/win_handles.h"
#include "test_support.h"

namespace {

const char kArguments[] = "/s EULA=Enable";
const char kOldSettings[] = "AUTO_UPDATE=Disable\r\nSTATIC=Enable\r\n";

// Records of a run, in their order: before the settings file is written, while it is, while the engine starts.
const char* const kKillPoints[] = {
    "INFO: -->Saving backup...",
    "INFO: szTBXExeCommand = ",
    "INFO: Writing to the runtime config file.",
    "INFO: Executor.exec(): ",
};
// Each point a few times: the kill lands a little later or earlier each time.
constexpr int kRoundsPerPoint = 3;

// The whole log as it is now; the launcher may be appending to it.
std::string logText() {
    UniqueFile file(CreateFileA(e2e::launcherLogPath().c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::string();
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

// The files beside the settings file that a write leaves while it is under way.
std::vector<std::string> temporaryFilesBeside(const std::string& settingsPath) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    UniqueFind search(FindFirstFileA((settingsPath + ".*.tmp").c_str(), &found));
    if (!search) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search.get(), &found));
    return names;
}

// Stand-in engine processes still there once every run that was started has had the time to end: a child that
// was created and never resumed stays for ever.
std::vector<DWORD> engineProcessesLeft(const std::string& engineImage) {
    std::vector<DWORD> left;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return left;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (!process) continue;
        char image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (!QueryFullProcessImageNameA(process.get(), 0, image, &size)) continue;
        if (lstrcmpiA(image, engineImage.c_str()) != 0) continue;
        if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) left.push_back(entry.th32ProcessID);
    }
    return left;
}

class KilledLauncher : public ::testing::Test {
protected:
    void SetUp() override { engine.setExit("0"); }

    std::vector<std::string> installRuns() const {
        std::vector<std::string> runs;
        for (const std::string& line : engine.commandLines())
            if (line.find(" /i \"") != std::string::npos) runs.push_back(line);
        return runs;
    }

    config_test::RuntimeFileGuard runtimeFile;
    testing_support::RecordingEngine engine;
};

TEST_F(KilledLauncher, LeavesTheSettingsWholeAndTheNextRunInstalls) {
    // The file a whole run leaves, to tell it from the old one.
    runtimeFile.write(kOldSettings);
    std::string log;
    ASSERT_EQ(0u, e2e::runLauncherLogged(kArguments, log)) << log;
    const std::string newSettings = runtimeFile.read();
    ASSERT_NE(newSettings, kOldSettings);
    for (const char* point : kKillPoints) ASSERT_NE(std::string::npos, log.find(point)) << point;

    for (int round = 1; round <= kRoundsPerPoint; ++round) {
        for (const char* point : kKillPoints) {
            SCOPED_TRACE(std::string(point) + ", round " + std::to_string(round));
            runtimeFile.write(kOldSettings);
            DeleteFileA(e2e::launcherLogPath().c_str());
            engine.clearRecord();
            {
                e2e::Launcher launcher(kArguments);
                // Killed as soon as the record is seen; where exactly that lands is up to timing.
                while (logText().find(point) == std::string::npos &&
                       WaitForSingleObject(launcher.handle(), 1) == WAIT_TIMEOUT) {
                }
                launcher.kill();
            }
            const std::string afterKill = runtimeFile.read();
            EXPECT_TRUE(afterKill == kOldSettings || afterKill == newSettings) << "torn settings file:\n" << afterKill;
            // What a kill inside the write itself leaves, which a kill from here lands on only now and then; the
            // next run removes it as it writes (a run that finds the new file in place writes nothing).
            if (afterKill == kOldSettings)
                testing_support::writeFile(runtimeFile.path() + ".0123456789abcdef.tmp", "AUTO_UPDATE=Dis");

            ASSERT_EQ(0u, e2e::runLauncherLogged(kArguments, log)) << log;
            EXPECT_FALSE(installRuns().empty()) << "the next run did not install";
            EXPECT_EQ(newSettings, runtimeFile.read());
            EXPECT_EQ(std::vector<std::string>(), temporaryFilesBeside(runtimeFile.path()));
            EXPECT_EQ(std::vector<DWORD>(), engineProcessesLeft(engine.msiexec())) << "a child that never ran";
        }
    }
}

}  // namespace

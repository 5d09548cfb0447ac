// A launcher killed at points of its run: the runtime settings file stays whole (the old or the new one), and
// the next run leaves no temporary file and no child that never ran, and installs.
#include <gtest/gtest.h>
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "config_test_support.h"
#include "e2e_support.h"
#include "installconfig/settings_leftovers.h"
#include "platform/tstrings.h"
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

std::string folderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

// The names beside the settings file that the launcher gives its own files while a write is under way.
std::vector<std::string> leftoversBeside(const std::string& settingsPath) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    UniqueFind search(FindFirstFileA((folderOf(settingsPath) + "\\*").c_str(), &found));
    if (!search) return names;
    do {
        if (leftoverKind(tstrings::toUtf16(found.cFileName), L"zolt.settings.cfg") != LeftoverKind::None)
            names.push_back(found.cFileName);
    } while (FindNextFileA(search.get(), &found));
    return names;
}

// One of each kind of leftover a stopped run of this or an earlier version can leave.
const char* const kPlantedLeftovers[] = {
    "zolt.settings.cfg.0123456789abcdef.tmp",
    "zolt.settings.cfg.0123456789abcdef.tmp.fedcba9876543210.tmp",
    "zolt.settings.cfg.0123456789abcdef.old",
    "~probe-0123456789abcdef.tmp",
};

// Stand-in engine processes still there once every run that was started has had the time to end: a child that
// was created and never resumed stays for ever.
std::vector<DWORD> engineProcessesLeft(const std::string& engineImage) {
    return testing_support::processesThatDoNotEnd(engineImage, 60000, false);
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
            ASSERT_TRUE(runtimeFile.exists()) << "no settings file";
            const std::string afterKill = runtimeFile.read();
            EXPECT_TRUE(afterKill == kOldSettings || afterKill == newSettings) << "torn settings file:\n" << afterKill;
            // What a kill inside a write leaves, which a kill from here lands on only now and then; the next run
            // removes it before it writes, or when it finds the new file in place and writes nothing.
            for (const char* leftover : kPlantedLeftovers)
                testing_support::writeFile(folderOf(runtimeFile.path()) + "\\" + leftover, "AUTO_UPDATE=Dis");

            ASSERT_EQ(0u, e2e::runLauncherLogged(kArguments, log)) << log;
            EXPECT_FALSE(installRuns().empty()) << "the next run did not install";
            EXPECT_EQ(newSettings, runtimeFile.read());
            EXPECT_EQ(std::vector<std::string>(), leftoversBeside(runtimeFile.path()));
            EXPECT_EQ(std::vector<DWORD>(), engineProcessesLeft(engine.msiexec())) << "a child that never ran";
        }
    }
}

// Changes in the settings folder as they happen: renames and new names, read through one open handle.
class FolderWatch {
public:
    explicit FolderWatch(const std::string& folder)
        : handle(CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr)),
          ready(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        EXPECT_TRUE(handle) << GetLastError();
        arm();
    }
    // Waits until a name in the folder gets `kind` of leftover name, or `process` ends first; true for the name.
    bool waitFor(LeftoverKind kind, HANDLE process) {
        for (;;) {
            const HANDLE waits[] = {ready.get(), process};
            if (WaitForMultipleObjects(2, waits, FALSE, 300000) != WAIT_OBJECT_0) return false;
            DWORD got = 0;
            if (!GetOverlappedResult(handle.get(), &overlapped, &got, FALSE)) return false;
            bool seen = false;
            for (size_t offset = 0; got > 0;) {
                const auto* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
                const std::wstring name(change->FileName, change->FileNameLength / sizeof(wchar_t));
                const bool named = change->Action == FILE_ACTION_ADDED || change->Action == FILE_ACTION_RENAMED_NEW_NAME;
                seen = seen || (named && leftoverKind(name, L"zolt.settings.cfg") == kind);
                if (change->NextEntryOffset == 0) break;
                offset += change->NextEntryOffset;
            }
            if (seen) return true;
            arm();
        }
    }

private:
    void arm() {
        ResetEvent(ready.get());
        overlapped = OVERLAPPED{};
        overlapped.hEvent = ready.get();
        ReadDirectoryChangesW(handle.get(), buffer, sizeof buffer, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME, nullptr,
                              &overlapped, nullptr);
    }

    UniqueFile handle;
    UniqueHandle ready;
    OVERLAPPED overlapped{};
    alignas(DWORD) unsigned char buffer[8192];
};

// Killed at the moment a save sets the old settings file aside (it does so where the system cannot replace a file
// another program reads, as here: a reader that allows deletion holds it), or at the moment the new file is
// started: the old file or the new one is there after the kill, or the next run puts the old one back before it
// reads anything; nothing else of the run stays.
TEST_F(KilledLauncher, AKillAsTheOldSettingsFileIsSetAsideLosesNoSettings) {
    runtimeFile.write(kOldSettings);
    std::string log;
    ASSERT_EQ(0u, e2e::runLauncherLogged(kArguments, log)) << log;
    const std::string newSettings = runtimeFile.read();
    struct Case {
        const char* name;
        bool reader;
        LeftoverKind trigger;
        int rounds;
    } cases[] = {
        {"the old file set aside", true, LeftoverKind::SetAside, 20},
        {"the new file started", false, LeftoverKind::Staged, 5},
    };
    for (const Case& c : cases) {
        int withoutSettings = 0;
        int killedBetweenTheRenames = 0;
        int leftBehind = 0;
        for (int round = 1; round <= c.rounds; ++round) {
            SCOPED_TRACE(std::string(c.name) + ", round " + std::to_string(round));
            runtimeFile.write(kOldSettings);
            FolderWatch watch(folderOf(runtimeFile.path()));
            UniqueFile reader;
            if (c.reader)
                reader.reset(CreateFileA(runtimeFile.path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
            bool seen = false;
            {
                e2e::Launcher launcher(kArguments);
                seen = watch.waitFor(c.trigger, launcher.handle());
                launcher.kill();
            }
            reader.reset();
            EXPECT_TRUE(seen) << "the run ended before it was killed";
            const bool present = runtimeFile.exists();
            if (present) {
                const std::string afterKill = runtimeFile.read();
                EXPECT_TRUE(afterKill == kOldSettings || afterKill == newSettings) << "torn settings file:\n" << afterKill;
            }
            // A new file is removed with the killed run that held it, unless the kill fell between its creation
            // and the mark that removes it, or while it took the name.
            if (!leftoversBeside(runtimeFile.path()).empty()) ++leftBehind;

            engine.clearRecord();
            ASSERT_EQ(0u, e2e::runLauncherLogged(kArguments, log)) << log;
            const bool putBack = log.find("set aside by a run that was stopped, is put back") != std::string::npos;
            EXPECT_EQ(!present, putBack) << log;
            if (!present) ++killedBetweenTheRenames;
            // The old settings and the new hold the same value: the next run read one or the other.
            const bool readSettings = log.find("AUTO_UPDATE = Disable") != std::string::npos;
            if (!readSettings) ++withoutSettings;
            EXPECT_FALSE(installRuns().empty()) << "the next run did not install";
            EXPECT_EQ(newSettings, runtimeFile.read());
            EXPECT_EQ(std::vector<std::string>(), leftoversBeside(runtimeFile.path()));
        }
        EXPECT_EQ(0, withoutSettings) << c.name;
        std::cout << c.name << ": " << killedBetweenTheRenames << " of " << c.rounds
                  << " kills found no settings file, put back by the next run; " << leftBehind
                  << " left a file of the run for the next to remove" << std::endl;
    }
}

// What a kill between the two renames leaves, made on purpose (the kills above land there only now and then): no
// settings file, the old one set aside and the new one under its temporary name. The next run reads the old one.
TEST_F(KilledLauncher, TheNextRunPutsTheSetAsideFileBackBeforeItReadsAnything) {
    runtimeFile.write(kOldSettings);
    std::string log;
    ASSERT_EQ(0u, e2e::runLauncherLogged(kArguments, log)) << log;
    const std::string newSettings = runtimeFile.read();
    ASSERT_TRUE(DeleteFileA(runtimeFile.path().c_str()));
    const std::string folder = folderOf(runtimeFile.path());
    testing_support::writeFile(folder + "\\zolt.settings.cfg.0123456789abcdef.old", kOldSettings);
    testing_support::writeFile(folder + "\\zolt.settings.cfg.fedcba9876543210.tmp", newSettings);

    engine.clearRecord();
    ASSERT_EQ(0u, e2e::runLauncherLogged(kArguments, log)) << log;
    const size_t putBack = log.find("WARNING: The runtime config file " + runtimeFile.path() +
                                    " was missing: zolt.settings.cfg.0123456789abcdef.old, set aside by a run that "
                                    "was stopped, is put back.");
    ASSERT_NE(std::string::npos, putBack) << log;
    const size_t backup = log.find("Config to backup");
    ASSERT_NE(std::string::npos, backup) << log;
    EXPECT_LT(putBack, backup) << "read before it was put back";
    EXPECT_NE(std::string::npos, log.find("AUTO_UPDATE = Disable", backup)) << log;
    EXPECT_FALSE(installRuns().empty());
    EXPECT_EQ(newSettings, runtimeFile.read());
    EXPECT_EQ(std::vector<std::string>(), leftoversBeside(runtimeFile.path()));
}

}  // namespace

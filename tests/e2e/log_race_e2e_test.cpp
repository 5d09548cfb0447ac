// Many launchers started at the same moment share one log: exactly one installs, and every launcher's records
// reach the log whole, the losers' refusals and everyone's exit code among them. A program holding the writers'
// turn for a whole run slows it once and costs it no record.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "platform/win_handles.h"

namespace {

const char kRefusal[] =
    "TBX wrapper: Another Zolt installation is in progress. You must complete that installation before you can run "
    "this installer.";

// The log's records by the process that wrote them, each as its "LEVEL: message" text (a message may run on
// over further lines). A record that is not whole, or one written into the middle of another, fails the test.
std::map<DWORD, std::vector<std::string>> recordsByProcess(const std::string& raw) {
    std::map<DWORD, std::vector<std::string>> out;
    const std::regex header("\\[[^\\]\r\n]+, [^,\r\n]+ \\(PID: (\\d+), TID: \\d+\\), [^\r\n]+\\]");
    std::vector<std::string>* current = nullptr;
    bool bodyStarted = false;
    std::istringstream lines(raw);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line.back() != '\r') {
            ADD_FAILURE() << "a line without CR LF: " << line;
            continue;
        }
        line.pop_back();
        std::smatch match;
        if (std::regex_match(line, match, header)) {
            if (current && !bodyStarted) ADD_FAILURE() << "a record without its message before: " << line;
            current = &out[static_cast<DWORD>(std::stoul(match[1]))];
            bodyStarted = false;
        } else if (line.find(" (PID: ") != std::string::npos || !current) {
            ADD_FAILURE() << "a record written into another: " << line;
        } else if (!bodyStarted) {
            if (line.empty() || line[0] != '\t') ADD_FAILURE() << "a record whose message is not whole: " << line;
            current->push_back(line.substr(1));
            bodyStarted = true;
        } else {
            current->back() += "\n" + line;
        }
    }
    return out;
}

bool has(const std::vector<std::string>& records, const std::string& line) {
    for (const std::string& r : records)
        if (r == line) return true;
    return false;
}

// A loser says why it stops: the guard was held when it looked, or another launcher took the guard between
// its look and its own claim.
bool saysWhyItRefused(const std::vector<std::string>& records) {
    for (const std::string& r : records)
        if (r == std::string("INFO: ") + kRefusal || r.rfind("INFO: Fail to set installation flag", 0) == 0) return true;
    return false;
}

class LogRaceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(keys.anyPresent()) << "the suite runs in a prefix of its own"; }
    void TearDown() override { keys.remove(); }
    e2e::ProductKeys keys;
    e2e::StandInEngine engine;
};

TEST_F(LogRaceTest, EveryLauncherStartedAtOnceKeepsItsRecords) {
    const int kLaunchers = 16, kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        DeleteFileA(e2e::launcherLogPath().c_str());
        const size_t runsBefore = engine.runs().size();
        // The winner's engine run lasts until every loser has ended, however slowly they start.
        engine.hold();
        std::vector<std::unique_ptr<UniqueProcessInformation>> launchers;
        for (int i = 0; i < kLaunchers; ++i) {
            std::string commandLine = "\"" + e2e::binDir() + "\\tbx-setup-e2e.exe\" /s";
            STARTUPINFOA startup{};
            startup.cb = sizeof startup;
            launchers.push_back(std::make_unique<UniqueProcessInformation>());
            ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                       nullptr, &startup, launchers.back()->receive()));
        }
        // Released together: the suspended launchers run from the same moment.
        for (const auto& launcher : launchers) ResumeThread(launcher->get().hThread);

        // Every launcher but the winner ends while the winner's engine run is held.
        std::vector<HANDLE> running;
        for (const auto& launcher : launchers) running.push_back(launcher->process());
        while (running.size() > 1) {
            const DWORD ended = WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), FALSE,
                                                       600000);
            ASSERT_GT(WAIT_OBJECT_0 + running.size(), ended) << "the losers did not end";
            running.erase(running.begin() + (ended - WAIT_OBJECT_0));
        }
        engine.release();
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(running[0], 600000)) << "the winner did not end";

        const std::map<DWORD, std::vector<std::string>> records = recordsByProcess(e2e::readFile(e2e::launcherLogPath()));
        int winners = 0;
        for (const auto& launcher : launchers) {
            DWORD code = 1;
            GetExitCodeProcess(launcher->process(), &code);
            const DWORD pid = launcher->get().dwProcessId;
            SCOPED_TRACE("launcher " + std::to_string(pid) + ", exit code " + std::to_string(code));
            const auto found = records.find(pid);
            ASSERT_NE(records.end(), found) << "no record of this launcher";
            if (code == 0) {
                ++winners;
            } else {
                EXPECT_EQ(e2e::exitCode(kExitFailed), code);
                EXPECT_TRUE(saysWhyItRefused(found->second));
            }
            EXPECT_TRUE(has(found->second, "INFO: Wrapper exit code: " + std::to_string(static_cast<int>(code))));
        }
        EXPECT_EQ(1, winners);
        size_t installs = 0;
        const std::vector<std::string> runs = engine.runs();
        for (size_t i = runsBefore; i < runs.size(); ++i)
            if (runs[i].find(" /i ") != std::string::npos) ++installs;
        EXPECT_EQ(1u, installs);
        keys.remove();
    }
}

// What one launcher run to its end on the stand-in engine left: the records it wrote, all whole, and how many of
// them waited for a program holding the log.
struct FinishedRun {
    std::vector<std::string> records;
    unsigned long recordsThatWaited = 0;
};

// One launcher run to its end on the stand-in engine, the engine's record cleared and the log as the caller left
// it. A run still going after ten minutes is hung: it is ended, and the test fails.
FinishedRun finishedRun(const e2e::StandInEngine& engine) {
    const std::string kWaitedRecord = "WARNING: Log records that waited for another program holding the log: ";
    // The stand-in asks for the reinstall pass only on the first install run it records.
    DeleteFileA(engine.recordPath().c_str());
    FinishedRun run;
    try {
        EXPECT_EQ(0u, e2e::Launcher("/s").wait(600000));
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
        return run;
    }
    const std::map<DWORD, std::vector<std::string>> byProcess =
        recordsByProcess(e2e::readFile(e2e::launcherLogPath()));
    EXPECT_EQ(1u, byProcess.size()) << "records of one launcher";
    if (byProcess.empty()) return run;
    for (const std::string& record : byProcess.begin()->second) {
        if (record.rfind(kWaitedRecord, 0) == 0) {
            run.recordsThatWaited = std::stoul(record.substr(kWaitedRecord.size()));
            continue;
        }
        run.records.push_back(record);
    }
    return run;
}

std::string joined(const std::vector<std::string>& records) {
    std::string text;
    for (const std::string& r : records) text += r + "\n";
    return text;
}

// A program holding the log's writers' turn for a whole launcher run (an install with its reinstall pass): every
// record of the run still reaches the log, whole, and the run waits for the holder once: the first record waits
// its bounded time, the rest try the turn once and are written without it (a wait for each would make every one
// of them wait). The run's log says how many records waited.
TEST_F(LogRaceTest, ATurnHeldForAWholeRunCostsNoRecordAndSlowsTheRunOnce) {
    SetEnvironmentVariableA("STATUSMSI_STATUS", "reinstall");
    DeleteFileA(e2e::launcherLogPath().c_str());
    const FinishedRun before = finishedRun(engine);
    keys.remove();
    FinishedRun held;
    {
        UniqueFile holder(CreateFileA(e2e::launcherLogPath().c_str(), FILE_READ_DATA | FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        // The writers' turn: the one byte at 2^62.
        OVERLAPPED turn{};
        turn.OffsetHigh = 0x40000000;
        ASSERT_TRUE(LockFileEx(holder.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn));
        held = finishedRun(engine);
    }

    EXPECT_EQ(before.records.size(), held.records.size())
        << "without the holder:\n" << joined(before.records) << "with it:\n" << joined(held.records);
    EXPECT_TRUE(has(held.records, "INFO: Wrapper exit code: 0")) << joined(held.records);
    EXPECT_EQ(0u, before.recordsThatWaited) << "no holder, no wait";
    EXPECT_EQ(1u, held.recordsThatWaited) << joined(held.records);
}

// A program holding the log without sharing writes for a whole launcher run: no record of the run is lost. They
// all go to a second file beside the log, named with the launcher's process id, whose first record says why, and
// the launcher names that file on its standard error.
TEST_F(LogRaceTest, ALogHeldWithoutSharingForAWholeRunLosesNoRecord) {
    const std::string log = e2e::launcherLogPath();
    DeleteFileA(log.c_str());
    testing_support::TempDir dir;
    const std::string errors = dir.file("stderr.txt");
    DWORD code = 0xDEADBEEF;
    DWORD pid = 0;
    {
        UniqueFile holder(CreateFileA(log.c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        ASSERT_TRUE(holder);
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        UniqueFile standardError(CreateFileA(errors.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(standardError);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdError = standardError.get();
        std::string command = "\"" + e2e::binDir() + "\\tbx-setup-e2e.exe\" /s";
        UniqueProcessInformation launcher;
        ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                   launcher.receive()));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(launcher.process(), 600000));
        GetExitCodeProcess(launcher.process(), &code);
        pid = GetProcessId(launcher.process());
    }
    EXPECT_EQ(0u, code);
    const std::string second = e2e::tempDir() + "\\zusched-" + std::to_string(pid) + ".log";
    const std::map<DWORD, std::vector<std::string>> byProcess = recordsByProcess(e2e::readFile(second));
    ASSERT_EQ(1u, byProcess.size()) << e2e::readFile(second);
    const std::vector<std::string>& records = byProcess.begin()->second;
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(0u, records.front().rfind("WARNING: The log " + log + " cannot be written (", 0)) << records.front();
    EXPECT_EQ(0u, records[1].rfind("INFO: Zolt setup launcher ", 0)) << "the run's first record follows";
    EXPECT_EQ("INFO: Wrapper exit code: 0", records.back());
    EXPECT_EQ("The log " + log + " could not be written; this run's records are in " + second + "\r\n",
              e2e::readFile(errors));
    DeleteFileA(second.c_str());
}

}  // namespace

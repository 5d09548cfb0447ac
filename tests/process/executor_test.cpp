// Running child programs: exit codes, quoting, both waiting modes, the time-out and start failures.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "process/executor.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::string child() { return toolPath("childtool.exe"); }
std::string quotedChild() { return "\"" + child() + "\""; }

TEST(ExecutorExitCodes, FullThirtyTwoBitCodesInBothModes) {
    LogCapture log;
    for (long code : {0L, 1L, 255L, 256L, 1603L, 3010L, -80L, -1L}) {
        SCOPED_TRACE(code);
        std::string args = quotedChild() + " --exit=" + std::to_string(code);
        EXPECT_EQ(static_cast<DWORD>(code), Executor::ExecProcessWaitForFinish(child(), args, 1));
        EXPECT_EQ(static_cast<DWORD>(code), Executor::ExecProcessWithAtlMessageLoop(child(), args));
    }
    EXPECT_EQ(2, log.count("INFO: Executor.finishExecution(): ExitCode = 1603"));
    EXPECT_EQ(2, log.count("INFO: Executor.finishExecution(): ExitCode = 4294967216"));
    EXPECT_EQ(14, log.count("ERROR: Executor.finishExecution(): Process execution failed with system error "));
    EXPECT_EQ(8, log.count("INFO: Executor.finishExecution(): WaitForSingleObject exited with code 0"));
    EXPECT_EQ(0, log.count("WARNING")) << "every child started inside its job";
}

// A start refused with the system's internal error (seen under load) is tried again; any other refusal is final.
TEST(ExecutorStart, AnInternalErrorIsTriedAgainAndOtherRefusalsAreFinal) {
    struct Case {
        const char* name;
        StartRefusalHook refuse;
        DWORD expected;
        int warnings;
        int errors;
    } cases[] = {
        {"refused once with an internal error", [](int attempt) -> DWORD { return attempt == 1 ? 1359u : 0u; }, 7,
         1, 0},
        {"refused with an internal error every time", [](int) -> DWORD { return 1359u; }, 1359, 2, 1},
        {"refused with access denied", [](int) -> DWORD { return 5u; }, 5, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        setStartRefusalHook(c.refuse);
        const DWORD code = Executor::ExecProcessWaitForFinish(child(), quotedChild() + " --exit=7", 1);
        setStartRefusalHook(nullptr);
        EXPECT_EQ(c.expected, code);
        EXPECT_EQ(c.warnings, log.count("; starting it again."));
        EXPECT_EQ(c.errors, log.count("ERROR: Executor.exec(): CreateProcess failed with"));
    }
}

TEST(ExecutorCommandLine, QuotingRules) {
    const std::string path = "C:\\tools\\msiexec.exe";
    struct Case {
        const char* name;
        std::string applicationPath;
        std::string arguments;
        std::string commandLine;
    } cases[] = {
        {"spaces and quotes around the path", " \t\"" + path + "\" ", "", "\"" + path + "\""},
        {"quoted path first replaces", path, " \"" + path + "\" /i \"a.msi\"", "\"" + path + "\" /i \"a.msi\""},
        {"bare path first keeps the quoted path", path, path + " /x {CODE} /qn", "\"" + path + "\" /x {CODE} /qn"},
        {"other arguments follow one space", path, "\t/i a.msi\t", "\"" + path + "\" /i a.msi"},
        {"blank arguments", path, " \t \t", "\"" + path + "\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Executor e(c.applicationPath);
        e.setArguments(c.arguments);
        EXPECT_EQ(c.commandLine, e.getCommandLine());
    }
}

TEST(ExecutorCommandLine, ChildSeesTheComposedLine) {
    TempDir dir;
    std::string record = dir.file("cmdline.txt");
    std::string args = quotedChild() + " --record=" + record + "  TRANSFORMS=:1041";
    ASSERT_EQ(0u, Executor::ExecProcessWaitForFinish(" " + quotedChild() + " ", args, 0));
    EXPECT_EQ(args, readFile(record));
}

TEST(ExecutorWaiting, FiniteTimeoutTerminatesTheChild) {
    LogCapture log;
    TempDir dir;
    std::string marker = dir.file("survived.txt");
    Executor e(child());
    e.setArguments(quotedChild() + " --sleep=3000 --record=" + marker);
    e.setWaitForExit(true, 300);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), e.exec());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    Sleep(3500);
    EXPECT_FALSE(fileExists(marker)) << "the child ran on after the time-out";
    EXPECT_EQ(1, log.count("INFO: Executor.finishExecution(): The timeout is elapsed. Terminating Process."));
    EXPECT_EQ(0, log.count("ExitCode ="));
}

TEST(ExecutorWaiting, NoWaitingModeReturnsAtOnce) {
    TempDir dir;
    std::string marker = dir.file("later.txt");
    Executor e(child());
    e.setArguments(quotedChild() + " --sleep=1500 --record=" + marker + " --exit=7");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0u, e.exec());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_FALSE(fileExists(marker));
    for (int i = 0; i < 100 && !fileExists(marker); ++i) Sleep(100);
    EXPECT_TRUE(fileExists(marker)) << "the child did not run on";
}

TEST(ExecutorWaiting, MessagePumpDispatchesWhileTheChildRuns) {
    // A thread message posted before the wait must be taken off the queue while the child still runs.
    PostThreadMessageA(GetCurrentThreadId(), WM_APP + 1, 0, 0);
    DWORD code = Executor::ExecProcessWithAtlMessageLoop(child(), quotedChild() + " --sleep=500 --exit=3010");
    EXPECT_EQ(3010u, code);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP + 1, WM_APP + 1, PM_REMOVE));
}

TEST(ExecutorFailures, MissingProgramGivesWin32CodeAndRecord) {
    LogCapture log;
    DWORD code = Executor::ExecProcessWaitForFinish("C:\\no\\such\\program.exe", "", 1);
    EXPECT_TRUE(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) << code;
    EXPECT_EQ(1, log.count("ERROR: Executor.exec(): CreateProcess failed with system error " + std::to_string(code) + " ("));
    EXPECT_NE(std::string::npos, log.raw().find("(Executor::exec)]\r\n\tERROR: Executor.exec(): CreateProcess"));
}

TEST(ExecutorFailures, EmptyPathGives1627WithBothRecords) {
    LogCapture log;
    EXPECT_EQ(1627u, Executor::ExecProcessWaitForFinish(" \t ", "anything", 0));
    EXPECT_EQ(1627u, Executor::ExecProcessWithAtlMessageLoop("", "anything"));
    std::string raw = log.raw();
    EXPECT_EQ(2, log.count("ERROR: Executor: applicationPath is empty"));
    EXPECT_NE(std::string::npos, raw.find("(Executor::ExecProcessWaitForFinish)]\r\n\tERROR: ExecutorError in Executor::ExecProcessWaitForFinish applicationPath is empty\r\n"));
    EXPECT_NE(std::string::npos, raw.find("(Executor::ExecProcessWithAtlMessageLoop)]\r\n\tERROR: ExecutorError in Executor::ExecProcessWithAtlMessageLoop applicationPath is empty\r\n"));
    EXPECT_NE(std::string::npos, raw.find("(Executor::Executor)]"));
}

// Runs dyingparent (which starts `childArguments` through the runner and ends itself at `when`) to its end and
// returns the child's process id.
DWORD childOfDyingParent(const std::string& when, const TempDir& dir, const std::string& childArguments) {
    const std::string pidFile = dir.file("child.pid");
    std::string line = "\"" + toolPath("dyingparent.exe") + "\" " + when + " " + pidFile + " " + quotedChild() + " " +
                       childArguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    UniqueProcessInformation parent;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, parent.receive()))
        throw std::runtime_error("dyingparent did not start");
    WaitForSingleObject(parent.process(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(parent.process(), &code);
    if (code != 9) throw std::runtime_error("dyingparent ended with " + std::to_string(code));
    return static_cast<DWORD>(std::stoul(readFile(pidFile)));
}

TEST(ExecutorParentDeath, AChildNeverResumedEndsWithItsParent) {
    TempDir dir;
    const std::string ran = dir.file("ran.txt");
    const DWORD pid = childOfDyingParent("before-resume", dir, "--record=" + ran);
    UniqueHandle child(OpenProcess(SYNCHRONIZE, FALSE, pid));
    // Gone already, or going: the job's close ends it.
    if (child) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.get(), 60000)) << "a suspended child outlived its parent";
    }
    EXPECT_FALSE(fileExists(ran)) << "the child ran although it was never resumed";
}

TEST(ExecutorParentDeath, AResumedChildRunsOnAfterItsParentDies) {
    TempDir dir;
    const std::string done = dir.file("done.txt");
    const DWORD pid = childOfDyingParent("after-start", dir, "--sleep=8000 --record=" + done + " --exit=42");
    UniqueHandle child(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    ASSERT_TRUE(child) << "the child was gone right after its parent died";
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.get(), 120000));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(child.get(), &code));
    EXPECT_EQ(42u, code) << "the child did not run to its own end";
    EXPECT_TRUE(fileExists(done));
}

// The child tool processes that have not ended within a minute: a child created and never resumed, whose job
// did not end it, never does. Each one found is ended here, so that it is reported once.
std::vector<DWORD> childrenThatNeverEnd() { return testing_support::processesThatDoNotEnd(child(), 60000, true); }

// A parent killed at any point of the child's start (inside the creation itself, between creation and resume,
// after it) leaves no child that never runs: the child is in the job that ends it from the moment it exists,
// until it has been resumed. The kill points spread over a little more than one start takes.
TEST(ExecutorParentDeath, AParentKilledAnywhereInTheStartLeavesNoChildThatNeverRuns) {
    const std::string eventName = "Local\\tbx-starting-" + std::to_string(GetCurrentProcessId());
    UniqueHandle starting(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
    ASSERT_TRUE(starting);
    // Starts the parent and waits until it is about to start the child.
    auto startParent = [&](UniqueProcessInformation& parent) {
        ResetEvent(starting.get());
        std::string line = "\"" + toolPath("dyingparent.exe") + "\" killable " + eventName + " " + quotedChild();
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   parent.receive()));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(starting.get(), 60000));
    };
    // One start as it goes undisturbed: from the parent's signal to its end, with the child's.
    UniqueProcessInformation reference;
    startParent(reference);
    const ULONGLONG began = GetTickCount64();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(reference.process(), 60000));
    const DWORD startMs = static_cast<DWORD>(GetTickCount64() - began) + 1;

    const int kKillPoints = 16;
    for (int point = 0; point < kKillPoints; ++point) {
        const DWORD delayMs = startMs * point / (kKillPoints - 4);
        SCOPED_TRACE("killed " + std::to_string(delayMs) + " ms into a start of " + std::to_string(startMs) + " ms");
        UniqueProcessInformation parent;
        startParent(parent);
        // Not a wait for an outcome: the pause only places the kill.
        Sleep(delayMs);
        TerminateProcess(parent.process(), 99);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(parent.process(), 60000));
        EXPECT_EQ(std::vector<DWORD>(), childrenThatNeverEnd()) << "a child that never ran outlived its parent";
    }
}

}  // namespace

// The record format, the on-disk form, concurrent threads and programs, a held log and the scope tracer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/logger.h"
#include "platform/win_handles.h"
#include "test_support.h"

using testing_support::LogCapture;

namespace {

TEST(LogRecordFormat, MatchesTheRecordLayout) {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 3;
    t.wDay = 2;
    t.wHour = 9;
    t.wMinute = 5;
    t.wSecond = 3;
    t.wMilliseconds = 7;
    EXPECT_EQ("[2026/03/02 09:05:03.007, tbx-setup.exe (PID: 12, TID: 3400), Executor.cpp:41 (Executor::exec)]\n"
              "\tINFO: Executor.exec(): \"x\"\n",
              formatLogRecord(t, "tbx-setup.exe", 12, 3400, "C:/src\\launcher/Executor.cpp", 41, "Executor::exec",
                              LOG_INFO, "Executor.exec(): \"x\""));
}

TEST(LogRecordFormat, LevelTexts) {
    struct Case {
        int level;
        const char* text;
    } cases[] = {{0, "TRACE"}, {1, "INFO"}, {2, "WARNING"}, {3, "ERROR"}, {7, "UNKNOWN"}, {-1, "UNKNOWN"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        EXPECT_STREQ(c.text, logLevelText(c.level));
    }
}

TEST(LogFile, AppendsRecordsWithCrLfAndTheProcessName) {
    LogCapture log;
    testing_support::writeFile(log.path(), "earlier run\r\n");
    logit("first");
    writeLogRecord(Logger::instance(), LOG_WARNING, "C:\\x\\y.cpp", 9, "Cls::m", "second");
    std::string raw = log.raw();
    std::regex record(
        "earlier run\r\n"
        "\\[\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}, platform_tests\\.exe \\(PID: \\d+, TID: \\d+\\), "
        "logger\\.cpp:\\d+ \\(logit\\)\\]\r\n\tINFO: first\r\n"
        "\\[[^\\]]+, y\\.cpp:9 \\(Cls::m\\)\\]\r\n\tWARNING: second\r\n");
    EXPECT_TRUE(std::regex_match(raw, record)) << raw;
}

TEST(LogFile, EmptyPathWritesNothing) {
    LogCapture log;
    Logger::instance().logFilePath.clear();
    logit("nowhere");
    Logger::instance().logFilePath = log.path();
    EXPECT_FALSE(testing_support::fileExists(log.path()));
}

// A log past its limit becomes the one older log, replacing an older one, and the next record starts a new log.
TEST(LogFile, RollsOverToOneOlderFilePastItsLimit) {
    struct Case {
        const char* name;
        size_t size;
        bool rolls;
    } cases[] = {{"at the limit", 100, false}, {"past it", 101, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        const std::string older = olderLogPath(log.path());
        testing_support::writeFile(older, "the run before last\r\n");
        const std::string before(c.size, 'x');
        testing_support::writeFile(log.path(), before);
        EXPECT_EQ(c.rolls, rollLogOverWhenLarger(Logger::instance(), 100));
        logit("after");
        EXPECT_EQ(c.rolls ? before : "the run before last\r\n", testing_support::readFile(older));
        EXPECT_EQ(!c.rolls, log.raw().rfind(before, 0) == 0) << "the log goes on from its old records";
        EXPECT_NE(std::string::npos, log.raw().find("INFO: after"));
        DeleteFileA(older.c_str());
    }
}

TEST(LogFile, TheOlderLogKeepsTheExtension) {
    EXPECT_EQ("C:\\Temp\\zusched.old.log", olderLogPath("C:\\Temp\\zusched.log"));
    EXPECT_EQ("C:\\a.b\\log.old", olderLogPath("C:\\a.b\\log"));
}

// Reads the log as whole "writer" records only: every header and body line intact, and each writer's records
// numbered 0, 1, 2 ... with none missing, repeated or out of order. Returns how many records each writer has.
std::map<std::string, int> writerRecordsInOrder(const std::string& raw, const char* sourceFile) {
    std::map<std::string, int> next;
    const std::regex header(std::string("\\[[^\\]\r\n]+\\(PID: \\d+, TID: \\d+\\), ") + sourceFile +
                            ":\\d+ \\(writer\\)\\]");
    const std::regex body("\tINFO: (?:thread|writer) (\\w+) record (\\d+)");
    int records = 0;
    size_t pos = 0;
    while (pos < raw.size()) {
        size_t h = raw.find("\r\n", pos);
        size_t m = h == std::string::npos ? h : raw.find("\r\n", h + 2);
        if (m == std::string::npos) {
            ADD_FAILURE() << "record " << records << " is cut: " << raw.substr(pos, 200);
            break;
        }
        std::string headerLine = raw.substr(pos, h - pos), bodyLine = raw.substr(h + 2, m - h - 2);
        std::smatch match;
        if (!std::regex_match(headerLine, header) || !std::regex_match(bodyLine, match, body)) {
            ADD_FAILURE() << "record " << records << " is not whole: " << headerLine << " / " << bodyLine;
            break;
        }
        int& expected = next[match[1]];
        if (std::stoi(match[2]) != expected) {
            ADD_FAILURE() << "record " << records << ": " << bodyLine << ", expected record " << expected
                          << " of writer " << match[1] << " (one is missing or out of order)";
            break;
        }
        ++expected;
        ++records;
        pos = m + 2;
    }
    return next;
}

TEST(LogFile, ConcurrentThreadsNeverInterleaveRecords) {
    LogCapture log;
    const int kPerThread = 1000;
    auto writer = [&](char name) {
        for (int i = 0; i < kPerThread; ++i) {
            std::string message = std::string("thread ") + name + " record " + std::to_string(i);
            writeLogRecord(Logger::instance(), LOG_INFO, __FILE__, __LINE__, "writer", message.c_str());
        }
    };
    std::thread a(writer, 'A'), b(writer, 'B');
    a.join();
    b.join();

    // The threads of one process take turns: none of their records is lost, cut or mixed with another.
    EXPECT_EQ((std::map<std::string, int>{{"A", kPerThread}, {"B", kPerThread}}),
              writerRecordsInOrder(log.raw(), "logger_test\\.cpp"));
}

// Many programs appending to one log at the same moment, all released by one event once every one is ready.
TEST(LogFile, ConcurrentProgramsLoseNoRecord) {
    LogCapture log;
    const int kWriters = 16, kPerWriter = 1000;
    const std::string name = "Local\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
    UniqueHandle ready(CreateSemaphoreA(nullptr, 0, kWriters, (name + "-ready").c_str()));
    UniqueHandle start(CreateEventA(nullptr, TRUE, FALSE, (name + "-start").c_str()));
    ASSERT_TRUE(ready && start);

    std::vector<std::unique_ptr<UniqueProcessInformation>> writers;
    for (int i = 0; i < kWriters; ++i) {
        std::string command = "\"" + testing_support::toolPath("logwriter.exe") + "\" \"" + log.path() + "\" w" +
                              std::to_string(i) + " " + std::to_string(kPerWriter) + " " + name + "-ready " + name +
                              "-start";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        writers.push_back(std::make_unique<UniqueProcessInformation>());
        ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   writers.back()->receive()))
            << command;
    }
    for (int i = 0; i < kWriters; ++i) ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.get(), 120000));
    SetEvent(start.get());
    for (const auto& writer : writers) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writer->process(), 600000));
        DWORD code = 1;
        GetExitCodeProcess(writer->process(), &code);
        EXPECT_EQ(0u, code);
    }

    std::map<std::string, int> expected;
    for (int i = 0; i < kWriters; ++i) expected["w" + std::to_string(i)] = kPerWriter;
    EXPECT_EQ(expected, writerRecordsInOrder(log.raw(), "logwriter\\.cpp"));
}

// A program killed while it writes, at any point of its open, turn, write and close: what it wrote is whole
// records only, and the records of the next writer all arrive, none dropped for a turn its killer left behind.
TEST(LogFile, AWriterKilledWhileWritingLeavesWholeRecordsAndCostsTheNextWriterNone) {
    LogCapture log;
    const std::string name = "Local\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
    UniqueHandle ready(CreateSemaphoreA(nullptr, 0, 1, (name + "-ready").c_str()));
    UniqueHandle start(CreateEventA(nullptr, TRUE, FALSE, (name + "-start").c_str()));
    ASSERT_TRUE(ready && start);
    std::string command = "\"" + testing_support::toolPath("logwriter.exe") + "\" \"" + log.path() +
                          "\" killed 100000000 " + name + "-ready " + name + "-start";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    UniqueProcessInformation writer;
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               writer.receive()))
        << command;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.get(), 120000));
    SetEvent(start.get());
    // Well into its writing, it is killed wherever it is. A writer that died early ends the wait and fails below.
    while (log.count("writer killed record") < 200 && WaitForSingleObject(writer.process(), 20) == WAIT_TIMEOUT) {
    }
    TerminateProcess(writer.process(), 99);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writer.process(), 60000));

    for (int i = 0; i < 3; ++i) {
        const std::string message = "writer next record " + std::to_string(i);
        writeLogRecord(Logger::instance(), LOG_INFO, __FILE__, __LINE__, "writer", message.c_str());
    }
    std::map<std::string, int> counts = writerRecordsInOrder(log.raw(), "(?:logwriter|logger_test)\\.cpp");
    EXPECT_LE(200, counts["killed"]);
    EXPECT_EQ(3, counts["next"]);
}

// Opens the log as another program would; with `keepsTheTurn` it takes the writers' turn too, the one byte at
// 2^62. Empty when either fails.
UniqueFile holdTheLog(const std::string& path, DWORD access, DWORD share, bool keepsTheTurn) {
    UniqueFile holder(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (holder && keepsTheTurn) {
        OVERLAPPED turn{};
        turn.OffsetHigh = 0x40000000;
        if (!LockFileEx(holder.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn))
            holder.reset();
    }
    return holder;
}

// The second files beside `logPath` that processes wrote because the log could not be written
// ("<stem>-<process id>[...].log"), in name order.
std::vector<std::string> fallbackFilesOf(const std::string& logPath) {
    const std::string stem = logPath.substr(0, logPath.size() - 4);
    const std::string folder = logPath.substr(0, logPath.find_last_of('\\'));
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((stem + "-*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do files.push_back(folder + "\\" + found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> messagesOf(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream in(testing_support::readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '\t') out.push_back(line.substr(1));
    }
    return out;
}

// A log held open by another program: held without sharing writes (as a program of the older rule holds it
// while writing, or one that locks it), the record waits a bounded time and then goes, with every later record of
// the process, to a second file beside the log that says why; held by an appender that shares it, the record is
// written at once; an appender that keeps the writers' turn beyond the bound (hung, or squatting it) delays the
// record but does not cost it.
TEST(LogFile, AHeldLogSendsTheRecordsToASecondFileBesideIt) {
    const std::vector<std::string> all = {"INFO: before", "INFO: while held", "INFO: still held", "INFO: after"};
    const std::vector<std::string> first = {"INFO: before"};
    const std::vector<std::string> none;
    const std::vector<std::string> rest = {"INFO: while held", "INFO: still held", "INFO: after"};
    struct Case {
        const char* holder;
        DWORD access;
        DWORD share;
        bool keepsTheTurn;
        const std::vector<std::string>& inTheLog;
        const std::vector<std::string>& inTheSecondFile;  // after the record that says why
    } cases[] = {
        {"not sharing", GENERIC_READ, 0, false, first, rest},
        {"an older writer", FILE_APPEND_DATA, FILE_SHARE_READ, false, first, rest},
        {"an appender", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, false, all, none},
        {"an appender keeping the turn", FILE_READ_DATA | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, true,
         all, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.holder);
        LogCapture log;
        logit("before");
        UniqueFile holder = holdTheLog(log.path(), c.access, c.share, c.keepsTheTurn);
        ASSERT_TRUE(holder);
        // Each returns after its bounded wait at most; the caller carries on.
        logit("while held");
        logit("still held");
        holder.reset();
        logit("after");
        EXPECT_EQ(c.inTheLog, log.messages());
        const std::vector<std::string> second = fallbackFilesOf(log.path());
        EXPECT_EQ(c.inTheSecondFile.empty() ? "" : logFallbackPath(), second.empty() ? "" : second[0]);
        if (c.inTheSecondFile.empty()) {
            EXPECT_TRUE(second.empty());
            continue;
        }
        ASSERT_EQ(1u, second.size());
        EXPECT_EQ(log.path().substr(0, log.path().size() - 4) + "-" + std::to_string(GetCurrentProcessId()) + ".log",
                  second[0]);
        std::vector<std::string> messages = messagesOf(second[0]);
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(0u, messages[0].rfind("WARNING: The log " + log.path() + " cannot be written (", 0)) << messages[0];
        messages.erase(messages.begin());
        EXPECT_EQ(c.inTheSecondFile, messages);
        DeleteFileA(second[0].c_str());
    }
}

// Without a second file either (the log's folder is gone), a record is dropped and counted, and the next record
// the log takes says how many.
TEST(LogFile, ARecordNowhereToGoIsCountedInTheNextOne) {
    testing_support::TempDir dir;
    const std::string folder = dir.file("gone");
    const std::string previous = Logger::instance().logFilePath;
    Logger::instance().logFilePath = folder + "\\zusched.log";
    logit("lost");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    logit("found");
    Logger::instance().logFilePath = previous;
    EXPECT_EQ((std::vector<std::string>{"WARNING: Log records dropped while the log file was held by another program: 1",
                                        "INFO: found"}),
              messagesOf(folder + "\\zusched.log"));
}

// Runs one logwriter program writing `records` records as writer `name` to its end and returns how many of its
// records waited for a holder of the log. One that has not ended after half an hour is hung: it is ended, and
// the test fails.
DWORD logWriterRun(const std::string& logPath, const std::string& name, int records) {
    const std::string sync = "Local\\" + std::to_string(GetCurrentProcessId()) + "-" + name + "-" +
                             std::to_string(GetTickCount64());
    UniqueHandle ready(CreateSemaphoreA(nullptr, 0, 1, (sync + "-ready").c_str()));
    UniqueHandle start(CreateEventA(nullptr, TRUE, FALSE, (sync + "-start").c_str()));
    if (!ready || !start) throw std::runtime_error("cannot make the writer's events");
    std::string command = "\"" + testing_support::toolPath("logwriter.exe") + "\" \"" + logPath + "\" " + name + " " +
                          std::to_string(records) + " " + sync + "-ready " + sync + "-start waits";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    UniqueProcessInformation writer;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        writer.receive()))
        throw std::runtime_error("cannot start " + command);
    if (WaitForSingleObject(ready.get(), 120000) != WAIT_OBJECT_0)
        throw std::runtime_error("the writer never got ready");
    SetEvent(start.get());
    if (WaitForSingleObject(writer.process(), 1800000) != WAIT_OBJECT_0) {
        TerminateProcess(writer.process(), 1);
        ADD_FAILURE() << "writer " << name << " had not ended after half an hour";
        return static_cast<DWORD>(records);
    }
    DWORD waited = static_cast<DWORD>(records);
    GetExitCodeProcess(writer.process(), &waited);
    return waited;
}

// Keeps the writers' turn in bursts each shorter than any one wait, letting go for a moment between them, as a
// program that logs busily does.
class BurstingTurnHolder {
public:
    explicit BurstingTurnHolder(const std::string& path)
        : file(holdTheLog(path, FILE_READ_DATA | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, false)),
          bursts([this] { keepBursting(); }) {}
    ~BurstingTurnHolder() {
        stop = true;
        bursts.join();
    }
    BurstingTurnHolder(const BurstingTurnHolder&) = delete;
    BurstingTurnHolder& operator=(const BurstingTurnHolder&) = delete;

private:
    void keepBursting() {
        while (!stop) {
            OVERLAPPED turn{};
            turn.OffsetHigh = 0x40000000;
            if (file && LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn)) {
                Sleep(150);
                UnlockFileEx(file.get(), 0, 1, 0, &turn);
            }
            Sleep(1);
        }
    }
    UniqueFile file;
    std::atomic<bool> stop{false};
    std::thread bursts;
};

// A program that holds the log for a writer's whole run: keeping the writers' turn, for the whole run or in
// short bursts, it delays the run's records but costs none of them; holding the file without sharing, it sends
// them to the writer's second file. Either way the run waits within one budget, however short each wait, so only
// the first few records wait (a wait per record would make each of them wait); a busy machine only makes each
// wait longer, and so fewer records wait.
TEST(LogFile, AHolderForAWholeRunMakesOnlyAFewRecordsWait) {
    const int kRecords = 1000;
    const DWORD kMostRecordsWaiting = kRecords / 10;
    enum class Holder { KeepsTheTurn, KeepsTheTurnInBursts, DoesNotShare };
    struct Case {
        const char* name;
        Holder holder;
        int inTheLog;
        int inTheSecondFile;
    } cases[] = {
        {"keeping the writers' turn", Holder::KeepsTheTurn, kRecords, 0},
        {"keeping the writers' turn in short bursts", Holder::KeepsTheTurnInBursts, kRecords, 0},
        {"not sharing", Holder::DoesNotShare, 0, kRecords},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        EXPECT_EQ(0u, logWriterRun(log.path(), "before", kRecords)) << "no holder, no wait";
        DWORD waited = 0;
        {
            UniqueFile holder;
            std::unique_ptr<BurstingTurnHolder> bursts;
            if (c.holder == Holder::KeepsTheTurnInBursts)
                bursts = std::make_unique<BurstingTurnHolder>(log.path());
            else if (c.holder == Holder::KeepsTheTurn)
                holder = holdTheLog(log.path(), FILE_READ_DATA | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    true);
            else
                holder = holdTheLog(log.path(), GENERIC_READ, 0, false);
            ASSERT_TRUE(holder || bursts);
            waited = logWriterRun(log.path(), "held", kRecords);
        }
        EXPECT_EQ(0u, logWriterRun(log.path(), "after", kRecords)) << "no holder, no wait";
        std::map<std::string, int> counts = writerRecordsInOrder(log.raw(), "logwriter\\.cpp");
        EXPECT_EQ(kRecords, counts["before"]);
        EXPECT_EQ(c.inTheLog, counts["held"]);
        EXPECT_EQ(kRecords, counts["after"]);
        const std::vector<std::string> second = fallbackFilesOf(log.path());
        ASSERT_EQ(c.inTheSecondFile ? 1u : 0u, second.size());
        if (c.inTheSecondFile) {
            // Its first record says why; the writer's records follow it, all of them, in order.
            const std::string raw = testing_support::readFile(second[0]);
            const std::string records = raw.substr(raw.find("this file.\r\n") + 12);
            EXPECT_EQ(c.inTheSecondFile, writerRecordsInOrder(records, "logwriter\\.cpp")["held"]);
            DeleteFileA(second[0].c_str());
        }
        EXPECT_LT(0u, waited) << "the holder was never waited for";
        EXPECT_LE(waited, kMostRecordsWaiting) << waited << " of " << kRecords << " records waited";
    }
}

TEST(TraceScope, EntersAndExitsWithConstructionLine) {
    LogCapture log;
    { TraceScope scope(Logger::instance(), "C:\\src\\InstallConfigData.cpp", 120, "InstallConfigData::CheckParams", "CheckParams"); }
    std::string raw = log.raw();
    EXPECT_NE(std::string::npos, raw.find(", InstallConfigData.cpp:120 (InstallConfigData::CheckParams)]\r\n\tTRACE: Entering CheckParams\r\n"));
    EXPECT_NE(std::string::npos, raw.find(", InstallConfigData.cpp:0 (InstallConfigData::CheckParams)]\r\n\tTRACE: Exiting CheckParams (entered at InstallConfigData.cpp:120)\r\n"));
}

TEST(TraceScope, DisabledAboveTraceThreshold) {
    LogCapture log;
    Logger::instance().threshold = LOG_INFO;
    { TBX_TRACE_SCOPE("quiet"); }
    Logger::instance().threshold = LOG_TRACE;
    EXPECT_TRUE(log.messages().empty());
}

}  // namespace

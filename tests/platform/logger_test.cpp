// The record format, the on-disk form, concurrent writers, a locked log and the scope tracer.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "platform/logger.h"
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

TEST(LogFile, ConcurrentWritersNeverInterleaveRecords) {
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

    std::string raw = log.raw();
    std::regex header("\\[[^\\]\r\n]+\\(PID: \\d+, TID: \\d+\\), logger_test\\.cpp:\\d+ \\(writer\\)\\]");
    std::regex body("\tINFO: thread ([AB]) record (\\d+)");
    int next[2] = {0, 0};
    int records = 0;
    size_t pos = 0;
    while (pos < raw.size()) {
        size_t h = raw.find("\r\n", pos);
        ASSERT_NE(std::string::npos, h);
        size_t m = raw.find("\r\n", h + 2);
        ASSERT_NE(std::string::npos, m);
        std::string headerLine = raw.substr(pos, h - pos), bodyLine = raw.substr(h + 2, m - h - 2);
        ASSERT_TRUE(std::regex_match(headerLine, header)) << "record " << records << ": " << headerLine;
        std::smatch match;
        ASSERT_TRUE(std::regex_match(bodyLine, match, body)) << "record " << records << ": " << bodyLine;
        int who = match[1] == "A" ? 0 : 1;
        int index = std::stoi(match[2]);
        ASSERT_EQ(next[who], index) << "a record of thread " << match[1] << " is missing or out of order";
        next[who] = index + 1;
        ++records;
        pos = m + 2;
    }
    // The threads of one process take turns: none of their records is lost, cut or mixed with another.
    EXPECT_EQ(kPerThread, next[0]);
    EXPECT_EQ(kPerThread, next[1]);
    EXPECT_EQ(2 * kPerThread, records);
}

TEST(LogFile, RecordIsDroppedWhileAnotherWriterHoldsTheFile) {
    LogCapture log;
    logit("before");
    HANDLE holder = CreateFileA(log.path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    // The writer gives up after its retries and returns; the caller carries on.
    logit("lost");
    CloseHandle(holder);
    logit("after");

    EXPECT_EQ(std::vector<std::string>({"INFO: before", "INFO: after"}), log.messages());
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

// The one trace log of the process: record format, writer, logit and the scope tracer.
#pragma once

#include <windows.h>

#include <string>

#include "platform/source_location.h"

enum LogLevel { LOG_TRACE = 0, LOG_INFO = 1, LOG_WARNING = 2, LOG_ERROR = 3 };

struct Logger {
    int threshold = LOG_TRACE;
    std::string logFilePath;  // UTF-8

    // Created on first use, and forced during static initialisation.
    static Logger& instance();
};

// The executable's file name, or "Unknown".
const std::string& processName();

const char* logLevelText(int level);

// The record text before the runtime's text mode turns each "\n" into CR LF.
std::string formatLogRecord(const SYSTEMTIME& time, const std::string& process, unsigned pid, unsigned tid,
                            const char* file, unsigned line, const char* function, int level,
                            const char* message);

// Appends one record in one write; never throws. When the log cannot be opened within a bounded wait (another
// program holds it without sharing writes) or cannot be written, the record and every later one of the process go
// to a second file beside it, named with the process id (logFallbackPath); only when that fails too is a record
// dropped and counted, and the next record written says how many. A program that keeps the writers' turn delays
// a record, never costs it. Every wait for another program, however short, is charged to one budget of a few
// seconds per run, so a holder slows a run once, however many records it writes and however it takes turns.
void writeLogRecord(const Logger& logger, int level, const char* file, unsigned line, const char* function,
                    const char* message);
inline void writeLogRecord(const Logger& logger, int level, const char* file, unsigned line,
                           const std::string& function, const std::string& message) {
    writeLogRecord(logger, level, file, line, function.c_str(), message.c_str());
}

// The second file this process writes its records to because the log could not be written; empty when none.
std::string logFallbackPath();

// How many records of this process paused for a program holding the log file or the writers' turn, however
// briefly, before they were written or dropped. Within the run's one budget a holder makes a few records wait,
// however many the run writes.
unsigned long logRecordsThatWaited();

// True when the log file's name is a link (a reparse point, or a file with more than one name): then
// nothing is ever appended to it in this process.
bool logFileUnsafe(const Logger& logger);

// The log's size limit: a run that finds its log larger starts a new one.
constexpr unsigned long long kLogRollOverBytes = 8ull * 1024 * 1024;

// The one older log a rolled-over log becomes: "zusched.log" gives "zusched.old.log". UTF-8.
std::string olderLogPath(const std::string& logPath);

// When the log is larger than `limitBytes`, it becomes the older log (replacing the one there) and the next record
// starts a new one. True when it rolled over. A log another writer has open stays as it is, to roll over next time.
bool rollLogOverWhenLarger(const Logger& logger, unsigned long long limitBytes = kLogRollOverBytes);

// The driver's general INFO record.
void logit(const char* message);

class TraceScope {
public:
    TraceScope(Logger& logger, const char* file, unsigned line, std::string function, std::string message);
    ~TraceScope();
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

private:
    Logger& logger;
    int level;
    bool enabled;
    const char* file;
    unsigned line;
    std::string function;
    std::string message;
};

// Writes `message` at `level` when the threshold admits it; the message is built only then.
#define TBX_LOG(level, message)                                                                   \
    do {                                                                                          \
        ::Logger& tbxLogger_ = ::Logger::instance();                                              \
        if (tbxLogger_.threshold <= (level))                                                      \
            ::writeLogRecord(tbxLogger_, (level), __FILE__, __LINE__, TBX_FUNC, (message));      \
    } while (0)

#define TBX_LOG_AS(name, level, message)                                                          \
    do {                                                                                          \
        ::Logger& tbxLogger_ = ::Logger::instance();                                              \
        if (tbxLogger_.threshold <= (level))                                                      \
            ::writeLogRecord(tbxLogger_, (level), __FILE__, __LINE__, std::string(name), (message)); \
    } while (0)

#define TBX_TRACE_SCOPE(message) \
    ::TraceScope tbxTraceScope_(::Logger::instance(), __FILE__, __LINE__, TBX_FUNC, (message))

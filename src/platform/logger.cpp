// Record formatting and the open-append-close writer of the trace log.
#include "platform/logger.h"

#include <atomic>

#include "platform/ansi_path.h"
#include "platform/link_check.h"
#include "platform/log_location.h"
#include "platform/tstrings.h"

namespace {

const int kOpenAttempts = 10;

// Set once the log's name was found to be a link: no record is written after that.
std::atomic<bool> logRefused{false};

// The log's own handle, closed directly: the handle owners log their failures through this file.
class LogFile {
public:
    explicit LogFile(HANDLE h) : handle(h) {}
    ~LogFile() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    HANDLE get() const { return handle; }
    bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle;
};

// Opens the log for appending, creating it when missing, without following a link in its name: the elevated
// launcher must never append to (or create) a file of someone else's choosing. Others may read meanwhile,
// not write. Not open when locked or refused. `path` is UTF-8; the file is opened by its wide name.
HANDLE openLogForAppend(const std::string& path) {
    const std::wstring widePath = tstrings::toUtf16(path);
    HANDLE opened = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        opened = CreateFileW(widePath.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (opened != INVALID_HANDLE_VALUE) break;
        Sleep(1);
    }
    if (opened == INVALID_HANDLE_VALUE) return opened;
    if (!unsafeOpenedEntry(opened, EntryKind::File).empty()) {
        logRefused = true;
        CloseHandle(opened);
        return INVALID_HANDLE_VALUE;
    }
    return opened;
}

// The threads of this process take turns before opening the log: the open denies other writers, so two of
// them would refuse each other and lose records once the retries, meant for other processes, ran out.
// Reentrant, so a record written while writing one cannot hang its thread; never deleted, so records written
// while the process ends still find it.
class OwnWritersTurn {
public:
    OwnWritersTurn() { EnterCriticalSection(&section()); }
    ~OwnWritersTurn() { LeaveCriticalSection(&section()); }
    OwnWritersTurn(const OwnWritersTurn&) = delete;
    OwnWritersTurn& operator=(const OwnWritersTurn&) = delete;

private:
    static CRITICAL_SECTION& section() {
        static CRITICAL_SECTION lock;
        static const bool initialised = (InitializeCriticalSection(&lock), true);
        (void)initialised;
        return lock;
    }
};

// The records are stored with CR LF line ends, as the runtime's text mode would write them.
std::string withCarriageReturns(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// In UTF-8. The temporary folder through its short name when its long name has no ANSI form, like every other
// per-user path of the launcher; the file is opened by its wide name, so a log is written even when neither has.
std::string initialLogFilePath() {
    try {
        std::wstring folder = runTemporaryFolder();
        if (folder.empty()) return std::string();  // no temporary folder: logging is off
        const AnsiPath ansi = ansiPathOf(folder);
        if (ansi.form != AnsiPathForm::None) folder = ansi.wide;
        while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
        return chooseLogPath(folder + L"\\zusched.log");
    } catch (...) {
        return std::string();
    }
}

std::string moduleFileName() {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) return buffer.substr(0, n);
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

Logger& Logger::instance() {
    static Logger logger = [] {
        Logger l;
        l.logFilePath = initialLogFilePath();
        return l;
    }();
    return logger;
}

const std::string& processName() {
    static const std::string name = [] {
        std::string path = moduleFileName();
        return path.empty() ? std::string("Unknown") : tstrings::fileNamePart(path);
    }();
    return name;
}

namespace {
// Both exist before the entry point runs.
const bool staticallyInitialised = (Logger::instance(), processName(), true);
}  // namespace

const char* logLevelText(int level) {
    switch (level) {
    case LOG_TRACE: return "TRACE";
    case LOG_INFO: return "INFO";
    case LOG_WARNING: return "WARNING";
    case LOG_ERROR: return "ERROR";
    default: return "UNKNOWN";
    }
}

std::string formatLogRecord(const SYSTEMTIME& t, const std::string& process, unsigned pid, unsigned tid,
                            const char* file, unsigned line, const char* function, int level,
                            const char* message) {
    return tstrings::format("[%04u/%02u/%02u %02u:%02u:%02u.%03u, %s (PID: %u, TID: %u), %s:%u (%s)]\n\t%s: %s\n",
                            t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                            process.c_str(), pid, tid, tstrings::fileNamePart(file ? file : "").c_str(), line,
                            function ? function : "", logLevelText(level), message ? message : "");
}

void writeLogRecord(const Logger& logger, int level, const char* file, unsigned line, const char* function,
                    const char* message) {
    try {
        if (logger.logFilePath.empty()) return;
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::string record = formatLogRecord(now, processName(), GetCurrentProcessId(), GetCurrentThreadId(), file,
                                             line, function, level, message);
        if (logRefused) return;
        OwnWritersTurn turn;
        // Denying other writers keeps records of concurrent writers whole.
        LogFile file(openLogForAppend(logger.logFilePath));
        if (!file.isOpen()) return;
        std::string bytes = withCarriageReturns(record);
        DWORD written = 0;
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    } catch (...) {
        // A log that cannot be written must not disturb the caller.
    }
}

bool logFileUnsafe(const Logger& logger) {
    if (logRefused) return true;
    if (logger.logFilePath.empty()) return false;
    HANDLE opened = CreateFileW(tstrings::toUtf16(logger.logFilePath).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    LogFile file(opened);
    if (!file.isOpen()) return false;  // not there yet: it is created safely
    if (unsafeOpenedEntry(file.get(), EntryKind::File).empty()) return false;
    logRefused = true;
    return true;
}

void logit(const char* message) {
    Logger& logger = Logger::instance();
    if (logger.threshold <= LOG_INFO) writeLogRecord(logger, LOG_INFO, __FILE__, __LINE__, "logit", message);
}

TraceScope::TraceScope(Logger& logger_, const char* file_, unsigned line_, std::string function_,
                       std::string message_)
    : logger(logger_),
      level(LOG_TRACE),
      enabled(logger_.threshold <= LOG_TRACE),
      file(file_),
      line(line_),
      function(std::move(function_)),
      message(std::move(message_)) {
    if (enabled) writeLogRecord(logger, level, file, line, function.c_str(), ("Entering " + message).c_str());
}

TraceScope::~TraceScope() {
    if (!enabled) return;
    std::string text = "Exiting " + message + " (entered at " + tstrings::fileNamePart(file ? file : "") + ":" +
                       tstrings::toString(static_cast<uint32_t>(line)) + ")";
    writeLogRecord(logger, level, file, 0, function.c_str(), text.c_str());
}

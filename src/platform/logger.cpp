// Record formatting and the open-append-close writer of the trace log.
#include "platform/logger.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include "platform/ansi_path.h"
#include "platform/tstrings.h"

namespace {

const int kOpenAttempts = 10;

// In UTF-8. The temporary folder through its short name when its long name has no ANSI form, like every other
// per-user path of the launcher; the file is opened by its wide name, so a log is written even when neither has.
std::string initialLogFilePath() {
    try {
        wchar_t buffer[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
        if (length == 0 || length > MAX_PATH) return std::string();  // no temporary folder: logging is off
        std::wstring folder(buffer, length);
        const AnsiPath ansi = ansiPathOf(folder);
        if (ansi.form != AnsiPathForm::None) folder = ansi.wide;
        while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
        return tstrings::toUtf8(folder + L"\\zusched.log");
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
        const std::wstring wideLogPath = tstrings::toUtf16(logger.logFilePath);
        int fd = -1;
        for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
            // Denying other writers keeps records of concurrent writers whole.
            fd = _wsopen(wideLogPath.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_TEXT, _SH_DENYWR,
                         _S_IREAD | _S_IWRITE);
            if (fd >= 0) break;
            Sleep(1);
        }
        if (fd < 0) return;
        _write(fd, record.data(), static_cast<unsigned>(record.size()));
        _close(fd);
    } catch (...) {
        // A log that cannot be written must not disturb the caller.
    }
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

// Record formatting and the append-only writer of the trace log, shared with other programs appending to it.
#include "platform/logger.h"

#include <algorithm>
#include <atomic>

#include "platform/ansi_path.h"
#include "platform/errors.h"
#include "platform/link_check.h"
#include "platform/log_location.h"
#include "platform/protected_entries.h"
#include "platform/tstrings.h"

namespace {

// How long one record may wait for a program that holds the log (open without sharing, or the writers' turn),
// and the longest pause between two tries: a held log costs a bounded wait, never a hang.
const DWORD kHeldLogWaitMs = 2000;
// How long one record waits for the turn while other programs keep appending to the log: on a loaded machine
// many writers' turns can keep one waiting for seconds, and a record written without the turn could overwrite
// theirs.
const DWORD kOthersAppendingWaitMs = 30000;
const DWORD kLongestPauseMs = 250;
// After a record was dropped the log is likely still held (or never writable, a read-only file for one): the
// records that follow try only this long each.
const DWORD kWaitAfterDropMs = 20;
// All the waiting for other programs' holds that one run may do: past it, each record tries once and is then
// dropped (log held open) or written without the turn (turn held). A holder slows a run once, not per record.
const DWORD kRunWaitBudgetMs = 3000;

// Set once the log's name was found to be a link: no record is written after that.
std::atomic<bool> logRefused{false};

// Records this process could not write; the next record written says how many.
unsigned long droppedRecords = 0;

// What this process has waited for other programs' holds on the log. Changed only in this process's turn.
class HeldLogWaits {
public:
    // The end of a wait of at most `limitMs` starting now, within what is left of the run's budget.
    ULONGLONG deadline(DWORD limitMs) const {
        const ULONGLONG left = spentMs < kRunWaitBudgetMs ? kRunWaitBudgetMs - spentMs : 0;
        return GetTickCount64() + std::min<ULONGLONG>(limitMs, left);
    }
    // The longest wait for the turn: none once the turn has timed out, since its holder is likely to keep it.
    DWORD turnLimitMs() const { return turnTimedOut ? 0 : kHeldLogWaitMs; }
    void charge(ULONGLONG waitedMs) { spentMs += waitedMs; }
    void turnTimedOutOnce() { turnTimedOut = true; }
    void recordWaited() { ++recordsWaited; }
    unsigned long recordsThatWaited() const { return recordsWaited; }
    // The size of the log `path` after this process's last record there: growth past it shows other writers at
    // work. -1 when unknown.
    void noteEnd(const std::string& path, LONGLONG size) {
        endPath = path;
        endSize = size;
    }
    LONGLONG endOf(const std::string& path) const { return path == endPath ? endSize : -1; }

private:
    std::string endPath;
    LONGLONG endSize = -1;
    ULONGLONG spentMs = 0;
    bool turnTimedOut = false;
    unsigned long recordsWaited = 0;
};
HeldLogWaits heldLogWaits;

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

// The errors of a log another program holds open without sharing writes (or is deleting): worth waiting for.
bool heldByAnother(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// Opens the log for appending, creating it when missing, without following a link in its name: the elevated
// launcher must never append to (or create) a file of someone else's choosing. Shared with other appenders,
// who take turns with it (WritersTurn); a program that holds it without sharing writes is waited for, with
// growing pauses, until `deadline`, and the time waited is charged to the run's budget (`paused` says whether it
// paused at all). Not open when still held, missing its folder, or refused. `path` is UTF-8; the file is opened
// by its wide name.
HANDLE openLogForAppend(const std::string& path, ULONGLONG deadline, bool& paused) {
    const std::wstring widePath = tstrings::toUtf16(path);
    auto open = [&](DWORD access) {
        return CreateFileW(widePath.c_str(), access | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    };
    DWORD pause = 1;
    ULONGLONG waitStarted = 0;
    HANDLE opened = INVALID_HANDLE_VALUE;
    for (;;) {
        // Read access lets the turn be locked on this handle; a log this program may only append to is
        // written without the turn.
        opened = open(FILE_READ_DATA);
        if (opened == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) opened = open(0);
        if (opened != INVALID_HANDLE_VALUE) break;
        const DWORD error = GetLastError();
        const ULONGLONG now = GetTickCount64();
        if (waitStarted == 0) waitStarted = now;
        if (!heldByAnother(error) || now >= deadline) break;
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, deadline - now)));
        paused = true;
        pause = std::min(pause * 2, kLongestPauseMs);
    }
    // Only other programs' holds make an open wait: the writers sharing the log never do.
    if (waitStarted != 0) heldLogWaits.charge(GetTickCount64() - waitStarted);
    if (opened == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    if (!unsafeOpenedEntry(opened, EntryKind::File).empty()) {
        logRefused = true;
        CloseHandle(opened);
        return INVALID_HANDLE_VALUE;
    }
    return opened;
}

// The writers of all programs sharing the log take turns by locking one byte far beyond any data the log will
// ever hold, so the lock never stands in a write's way. Append-only access alone keeps each write whole on
// Windows, but not under Wine: there, appenders without the turn were seen to overwrite each other's records.
// A lock on the file itself, unlike a named object, can be held only by someone who may open the log anyway,
// and the system drops it with its holder. The turn is short, so it is polled every millisecond, within the
// run's budget; a holder that keeps it longer (hung, or holding it on purpose) does not cost the record: it is
// written without the turn, and the rest of the run tries the turn once per record instead of waiting for it,
// unless other writers are appending (the log grew past this process's last record), whose turns are waited for.
class WritersTurn {
public:
    // `endOfOurLast`: the log's size after this process's last record, -1 when unknown.
    WritersTurn(HANDLE file, HeldLogWaits& waits, LONGLONG endOfOurLast) : file(file) {
        const ULONGLONG started = GetTickCount64();
        const ULONGLONG deadline = waits.deadline(waits.turnLimitMs());
        LONGLONG seenSize = endOfOurLast;
        bool othersAppending = false;  // the log grew past this process's last record
        for (;;) {
            OVERLAPPED at = lockedByte();
            if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
                locked = true;
                break;
            }
            // Any other failure (no read access, a file system without locks): written without the turn.
            if (GetLastError() != ERROR_LOCK_VIOLATION) return;
            const ULONGLONG now = GetTickCount64();
            LARGE_INTEGER size{};
            if (GetFileSizeEx(file, &size)) {
                if (seenSize >= 0 && size.QuadPart > seenSize) othersAppending = true;
                seenSize = size.QuadPart;
            }
            // Other writers appending their records (each holds the turn for one write) are waited for past the
            // budget: under Wine a record written without the turn can overwrite theirs. Should they keep the turn
            // from this record for long, it goes to the run's second file, never over theirs. A holder that only
            // keeps the turn, for good or in bursts, is waited for within the budget alone.
            if (othersAppending) {
                if (now - started >= kOthersAppendingWaitMs) {
                    divertRecord = true;
                    break;
                }
            } else if (now >= deadline) {
                waits.turnTimedOutOnce();
                break;
            }
            Sleep(1);
            pausedForHolder = true;
        }
        // Every wait behind a holder is charged, however short: a holder that lets go now and then would otherwise
        // make each record wait a little, without end and without a word. A wait behind other programs appending
        // their records is their turn, not a hold: charged, it would use up the budget of a busy log and leave
        // later records to be written without the turn, over theirs.
        if (!othersAppending) waits.charge(GetTickCount64() - started);
    }
    ~WritersTurn() {
        OVERLAPPED at = lockedByte();
        if (locked) UnlockFileEx(file, 0, 1, 0, &at);
    }
    WritersTurn(const WritersTurn&) = delete;
    WritersTurn& operator=(const WritersTurn&) = delete;
    // Whether the turn was waited for, however briefly.
    bool paused() const { return pausedForHolder; }
    // Whether the record must go to the run's second file: other writers kept appending without letting it in.
    bool diverted() const { return divertRecord; }

private:
    static OVERLAPPED lockedByte() {
        OVERLAPPED at{};
        at.OffsetHigh = 0x40000000;  // 2^62
        return at;
    }
    HANDLE file;
    bool locked = false;
    bool pausedForHolder = false;
    bool divertRecord = false;
};

// The threads of this process take turns at the log, so that the count of dropped records is reported once
// and a held log costs each of them its wait in turn, not all at once. Reentrant, so a record written while
// writing one cannot hang its thread; never deleted, so records written while the process ends still find it.
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

std::string withCarriageReturns(const std::string& text);

// The second file of a run whose log cannot be opened or written: beside the log, named with the process id,
// created new for this process and written from the first record the log refused to the end of the process,
// so that the run's records stay together and in order. Tied to the log path it stands in for: a new path
// starts without it.
class FallbackLog {
public:
    bool activeFor(const std::string& usual) const { return !path_.empty() && usual == for_; }
    const std::string& path() const { return path_; }

    // Appends `bytes`, making the file first when this log has none yet (with a record that says why the log was
    // left). False when it cannot be made or written: the record is then lost.
    bool write(const std::string& usual, const std::string& bytes, const std::string& why) {
        if (!activeFor(usual) && !open(usual, why)) return false;
        DWORD written = 0;
        return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }

private:
    bool open(const std::string& usual, const std::string& why) {
        const size_t dot = usual.find_last_of('.');
        const size_t slash = usual.find_last_of("\\/");
        const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                     ? usual.substr(0, dot)
                                     : usual;
        const std::string pid = tstrings::toString(static_cast<uint32_t>(GetCurrentProcessId()));
        ProtectedDescriptor descriptor(kFreshLogSddl);
        // Made new, never one that is there: a name someone else chose (or left by an earlier process with this id)
        // is passed over for one with the time as well.
        for (const std::string& name :
             {stem + "-" + pid + ".log",
              stem + "-" + pid + "-" + tstrings::toString(static_cast<uint32_t>(GetTickCount())) + ".log"}) {
            HANDLE made = CreateFileW(tstrings::toUtf16(name).c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ,
                                      descriptor.attributes(), CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (made == INVALID_HANDLE_VALUE) continue;
            // Held for the rest of the process on purpose: every later record of the run goes here.
            if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
            handle = made;
            for_ = usual;
            path_ = name;
            SYSTEMTIME now;
            GetLocalTime(&now);
            const std::string note = "The log " + usual + " cannot be written (" + why +
                                     "); this run's records from here on are in this file.";
            const std::string record =
                withCarriageReturns(formatLogRecord(now, processName(), GetCurrentProcessId(), GetCurrentThreadId(),
                                                    __FILE__, __LINE__, "writeLogRecord", LOG_WARNING, note.c_str()));
            DWORD written = 0;
            WriteFile(handle, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
            return true;
        }
        return false;
    }

    std::string for_;
    std::string path_;
    HANDLE handle = INVALID_HANDLE_VALUE;
};
FallbackLog fallbackLog;

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
        if (fallbackLog.activeFor(logger.logFilePath)) {
            if (!fallbackLog.write(logger.logFilePath, withCarriageReturns(record), "")) ++droppedRecords;
            return;
        }
        bool openPaused = false;
        LogFile file(openLogForAppend(logger.logFilePath,
                                      heldLogWaits.deadline(droppedRecords > 0 ? kWaitAfterDropMs : kHeldLogWaitMs),
                                      openPaused));
        if (openPaused) heldLogWaits.recordWaited();
        if (!file.isOpen()) {
            const DWORD error = GetLastError();
            if (logRefused) return;
            // Not lost: the run's records go on in a file of its own beside the log.
            if (!fallbackLog.write(logger.logFilePath, withCarriageReturns(record), systemErrorText(error)))
                ++droppedRecords;
            return;
        }
        // The note on dropped records goes out in the same write, so it is never separated from the record that
        // follows it and is counted again should this write fail too.
        std::string bytes;
        if (droppedRecords > 0) {
            const std::string note = "Log records dropped while the log file was held by another program: " +
                                     tstrings::toString(static_cast<uint32_t>(droppedRecords));
            bytes = withCarriageReturns(formatLogRecord(now, processName(), GetCurrentProcessId(),
                                                        GetCurrentThreadId(), __FILE__, __LINE__, "writeLogRecord",
                                                        LOG_WARNING, note.c_str()));
        }
        bytes += withCarriageReturns(record);
        // One write per record, in the turn of all writers: it lands whole at the end, never mixed with another's.
        WritersTurn everyWritersTurn(file.get(), heldLogWaits, heldLogWaits.endOf(logger.logFilePath));
        if (everyWritersTurn.paused() && !openPaused) heldLogWaits.recordWaited();
        if (everyWritersTurn.diverted()) {
            if (!fallbackLog.write(logger.logFilePath, withCarriageReturns(record),
                                   "other programs kept appending to it without a turn for this run"))
                ++droppedRecords;
            return;
        }
        DWORD written = 0;
        if (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size()) {
            droppedRecords = 0;
            LARGE_INTEGER end{};
            if (GetFileSizeEx(file.get(), &end)) heldLogWaits.noteEnd(logger.logFilePath, end.QuadPart);
        }
        else if (!fallbackLog.write(logger.logFilePath, withCarriageReturns(record), systemErrorText(GetLastError())))
            ++droppedRecords;
    } catch (...) {
        // A log that cannot be written must not disturb the caller.
    }
}

std::string logFallbackPath() {
    OwnWritersTurn turn;
    return fallbackLog.activeFor(Logger::instance().logFilePath) ? fallbackLog.path() : std::string();
}

unsigned long logRecordsThatWaited() {
    OwnWritersTurn turn;
    return heldLogWaits.recordsThatWaited();
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

std::string olderLogPath(const std::string& logPath) {
    const size_t slash = logPath.find_last_of("\\/");
    const size_t dot = logPath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return hasExtension ? logPath.substr(0, dot) + ".old" + logPath.substr(dot) : logPath + ".old";
}

bool rollLogOverWhenLarger(const Logger& logger, unsigned long long limitBytes) {
    if (logger.logFilePath.empty() || logRefused) return false;
    OwnWritersTurn turn;
    const std::wstring path = tstrings::toUtf16(logger.logFilePath);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size <= limitBytes) return false;
    // A rename moves names, never contents: an older log that is a link is replaced, not written through.
    return MoveFileExW(path.c_str(), tstrings::toUtf16(olderLogPath(logger.logFilePath)).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != FALSE;
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

// Naming, announcing and pruning the engine's own logs.
#include "process/engine_logs.h"

#include <cstring>
#include <set>
#include <vector>

#include "platform/logger.h"
#include "platform/tstrings.h"

namespace {

// The stamp's length: date, time and process id with their dashes.
constexpr size_t kStampLength = 8 + 1 + 6 + 1 + 8;

bool isDigits(const std::string& text, size_t from, size_t count) {
    if (from + count > text.size()) return false;
    for (size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// The stamp of an engine log's name, or empty when the name does not have the engine log form.
std::string stampOf(const std::string& name) {
    const size_t prefix = std::strlen(kEngineLogPrefix);
    if (name.compare(0, prefix, kEngineLogPrefix) != 0) return std::string();
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".log") != 0) return std::string();
    const std::string stamp = name.substr(prefix, kStampLength);
    if (stamp.size() != kStampLength || !isDigits(stamp, 0, 8) || stamp[8] != '-' || !isDigits(stamp, 9, 6) ||
        stamp[15] != '-' || !isDigits(stamp, 16, 8))
        return std::string();
    return stamp;
}

}  // namespace

std::string engineLogRunStamp(const SYSTEMTIME& t, DWORD processId) {
    return tstrings::format("%04u%02u%02u-%02u%02u%02u-%08lu", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                            t.wSecond, static_cast<unsigned long>(processId));
}

std::string engineLogName(const std::string& stamp, int sequence, const char* package) {
    return tstrings::format("%s%s-%02d-%s.log", kEngineLogPrefix, stamp.c_str(), sequence, package);
}

int pruneEngineLogs(const std::string& folder, size_t runsKept) {
    if (folder.empty()) return 0;
    struct Entry {
        std::wstring path;
        std::string stamp;
    };
    std::vector<Entry> logs;
    WIN32_FIND_DATAW found;
    const std::wstring base = tstrings::toUtf16(folder) + L"\\";
    HANDLE search = FindFirstFileW((base + tstrings::toUtf16(kEngineLogPrefix) + L"*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        // A folder or a link by that name is not an engine log: leave it alone.
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        const std::string stamp = stampOf(tstrings::toUtf8(found.cFileName));
        if (!stamp.empty()) logs.push_back({base + found.cFileName, stamp});
    } while (FindNextFileW(search, &found));
    FindClose(search);

    std::set<std::string> stamps;
    for (const Entry& log : logs) stamps.insert(log.stamp);
    if (stamps.size() <= runsKept) return 0;
    const std::vector<std::string> ordered(stamps.begin(), stamps.end());
    // "~" sorts after every stamp: with nothing to keep, every engine log goes.
    const std::string oldestKept = runsKept ? ordered[ordered.size() - runsKept] : std::string("~");
    int removed = 0;
    for (const Entry& log : logs)
        if (log.stamp < oldestKept && DeleteFileW(log.path.c_str())) ++removed;
    return removed;
}

std::string EngineLogs::switchFor(const char* package) {
    if (!on()) return std::string();
    const std::string name = engineLogName(stamp_, ++runs_, package);
    TBX_LOG_AS("EngineLogs::switchFor", LOG_INFO,
               std::string("The Windows Installer logs this run of ") + package + " to " + shown_ + "\\" + name);
    return " /l*v \"" + folder_ + "\\" + name + "\"";
}

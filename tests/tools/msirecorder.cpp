// Stands in for msiexec.exe in the launcher's tests: appends its command line to a file, optionally waits
// for the cabinet event and records the cabinet files it then sees, and exits with a chosen code.
// Driven by the environment it inherits from the test through the launcher:
//   MSIRECORDER_LOG   file the records are appended to (required)
//   MSIRECORDER_EXIT  exit code, decimal, may be negative or above 255 (default 0); a comma-separated list
//                     gives the n-th run the n-th code (runs counted in the log), later runs the last one
//   MSIRECORDER_WAIT  "1": wait for LumoTBXCabExtractWaitEvent, then list the .cab files beside the database
//   MSIRECORDER_STAMP "1": record "started <performance counter>" as it starts, for benchmarks that time
//                     how long the launcher takes to reach the engine
//   MSIRECORDER_PROBE "1": act as another process of the user while the engine runs: try to open the database
//                     and each .cab beside it for writing and for delete, and to rename their folder; record
//                     each outcome (0 when allowed, else the error code), and whether the file can be read
//   MSIRECORDER_LIST  a folder: record "file <path below it> <size>" for each file one and two levels below it,
//                     and whether the cabinet event is set ("event set" or "event unset"), as the run starts
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string environment(const char* name) {
    char value[4096];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

// The folder of the database named after "/i \"" on the command line.
std::string databaseFolder(const std::string& commandLine) {
    size_t start = commandLine.find("/i \"");
    if (start == std::string::npos) return std::string();
    start += 4;
    size_t end = commandLine.find('"', start);
    std::string database = commandLine.substr(start, end - start);
    size_t slash = database.find_last_of('\\');
    return slash == std::string::npos ? std::string() : database.substr(0, slash);
}

std::string waitForCabinets(const std::string& commandLine) {
    HANDLE event = nullptr;
    for (int i = 0; i < 400 && !(event = OpenEventA(SYNCHRONIZE, FALSE, "LumoTBXCabExtractWaitEvent")); ++i)
        Sleep(50);
    if (!event) return "event missing\n";
    DWORD waited = WaitForSingleObject(event, 60000);
    CloseHandle(event);
    if (waited != WAIT_OBJECT_0) return "event timeout\n";
    std::string records = "event signalled\n";
    std::string folder = databaseFolder(commandLine);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.cab").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return records;
    do {
        records += "cab " + std::string(found.cFileName) + " " + std::to_string(found.nFileSizeLow) + "\n";
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return records;
}

// The number of runs recorded in the log before this one.
int earlierRuns(const std::string& logPath) {
    FILE* log = std::fopen(logPath.c_str(), "rb");
    if (!log) return 0;
    int runs = 0;
    char line[8192];
    while (std::fgets(line, sizeof line, log))
        if (std::strncmp(line, "cmd ", 4) == 0) ++runs;
    std::fclose(log);
    return runs;
}

long exitCodeForRun(const std::string& codes, int run) {
    size_t start = 0;
    for (int i = 0; i < run; ++i) {
        size_t comma = codes.find(',', start);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return std::strtol(codes.c_str() + start, nullptr, 10);
}

DWORD openError(const std::string& path, DWORD access, DWORD share) {
    HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(file);
    return 0;
}

std::string probeFile(const std::string& path) {
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    std::string name = path.substr(path.find_last_of('\\') + 1);
    return "probe " + name + " write " + std::to_string(openError(path, GENERIC_WRITE, all)) + " delete " +
           std::to_string(openError(path, DELETE, all)) + " read " +
           std::to_string(openError(path, GENERIC_READ, FILE_SHARE_READ)) + "\n";
}

std::string probePayload(const std::string& commandLine) {
    std::string folder = databaseFolder(commandLine);
    size_t start = commandLine.find("/i \"") + 4;
    std::string records = probeFile(commandLine.substr(start, commandLine.find('"', start) - start));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.cab").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            records += probeFile(folder + "\\" + found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    bool moved = MoveFileA(folder.c_str(), (folder + ".moved").c_str()) != FALSE;
    DWORD error = moved ? 0 : GetLastError();
    if (moved) MoveFileA((folder + ".moved").c_str(), folder.c_str());
    return records + "probe folder rename " + (moved ? "0" : "refused " + std::to_string(error)) + "\n";
}

// The files one and two levels below `folder`, as "file <name>\\<name> <size>" records.
std::string listFiles(const std::string& folder, const std::string& below = std::string(), int depth = 2) {
    std::string records;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return records;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string relative = below.empty() ? name : below + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth > 1) records += listFiles(folder + "\\" + name, relative, depth - 1);
        } else {
            records += "file " + relative + " " + std::to_string(found.nFileSizeLow) + "\n";
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return records;
}

std::string eventState() {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, "LumoTBXCabExtractWaitEvent");
    if (!event) return "event missing\n";
    const bool set = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    CloseHandle(event);
    return set ? "event set\n" : "event unset\n";
}

}  // namespace

int main() {
    LARGE_INTEGER started;
    QueryPerformanceCounter(&started);
    std::string commandLine = GetCommandLineA();
    std::string records = "cmd " + commandLine + "\n";
    if (environment("MSIRECORDER_STAMP") == "1") records += "started " + std::to_string(started.QuadPart) + "\n";
    const std::string listed = environment("MSIRECORDER_LIST");
    if (!listed.empty()) records += eventState() + listFiles(listed);
    if (environment("MSIRECORDER_WAIT") == "1") records += waitForCabinets(commandLine);
    if (environment("MSIRECORDER_PROBE") == "1") records += probePayload(commandLine);
    std::string logPath = environment("MSIRECORDER_LOG");
    const long exitCode = exitCodeForRun(environment("MSIRECORDER_EXIT"), earlierRuns(logPath));
    if (!logPath.empty()) {
        FILE* log = std::fopen(logPath.c_str(), "ab");
        if (!log) return 90;
        std::fputs(records.c_str(), log);
        std::fclose(log);
    }
    ExitProcess(static_cast<UINT>(exitCode));
}

// The recording engine and the installer location it is found through.
#include "recording_engine.h"

#include <stdexcept>

#include "test_support.h"

namespace testing_support {

namespace {
const RecordingEngine* activeEngine = nullptr;
constexpr const char* kInstallerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
// Everything the recorder reads from its environment, so no test leaves one set for the next.
constexpr const char* kRecorderVariables[] = {"MSIRECORDER_LOG", "MSIRECORDER_EXIT", "MSIRECORDER_WAIT",
                                              "MSIRECORDER_PROBE", "MSIRECORDER_STAMP"};
}  // namespace

InstallerLocationOverride::InstallerLocationOverride() {
    if (key.Open(HKEY_LOCAL_MACHINE, kInstallerKey, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY) != ERROR_SUCCESS)
        throw std::runtime_error("cannot open the Installer key");
    char value[MAX_PATH * 2] = "";
    DWORD size = sizeof value - 1;
    hadValue = RegQueryValueExA(key.get(), "InstallerLocation", nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                                &size) == ERROR_SUCCESS;
    previous = value;
}

InstallerLocationOverride::~InstallerLocationOverride() {
    if (hadValue)
        set(previous);
    else
        remove();
}

void InstallerLocationOverride::set(const std::string& folder) {
    RegSetValueExA(key.get(), "InstallerLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>(folder.size() + 1));
}

void InstallerLocationOverride::remove() { RegDeleteValueA(key.get(), "InstallerLocation"); }

RecordingEngine::RecordingEngine()
    : folder_(tempRoot() + "\\tbx-engine-" + std::to_string(GetCurrentProcessId())),
      record_(folder_ + "\\records.txt") {
    CreateDirectoryA(folder_.c_str(), nullptr);
    if (!CopyFileA(toolPath("msirecorder.exe").c_str(), msiexec().c_str(), FALSE))
        throw std::runtime_error("cannot place the recording msiexec");
    DeleteFileA(record_.c_str());
    SetEnvironmentVariableA("MSIRECORDER_LOG", record_.c_str());
    location_.set(folder_);
    previous_ = activeEngine;
    activeEngine = this;
}

RecordingEngine::~RecordingEngine() {
    activeEngine = previous_;
    for (const char* name : kRecorderVariables) SetEnvironmentVariableA(name, nullptr);
    DeleteFileA(record_.c_str());
    DeleteFileA(msiexec().c_str());
    RemoveDirectoryA(folder_.c_str());
}

void RecordingEngine::setExit(const std::string& codes) const {
    SetEnvironmentVariableA("MSIRECORDER_EXIT", codes.c_str());
}

const RecordingEngine* RecordingEngine::active() { return activeEngine; }

void RecordingEngine::clearRecord() const { DeleteFileA(record_.c_str()); }

namespace {

std::vector<std::string> recordLines(const std::string& path) {
    std::vector<std::string> lines;
    const std::string text = readFile(path);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

bool isCommandRecord(const std::string& line) { return line.rfind("cmd ", 0) == 0; }

}  // namespace

std::vector<std::string> RecordingEngine::records() const {
    std::vector<std::string> lines = recordLines(record_);
    for (std::string& line : lines)
        if (isCommandRecord(line)) line = withoutEngineLog(line);
    return lines;
}

std::vector<std::string> RecordingEngine::engineLogs() const {
    std::vector<std::string> logs;
    for (const std::string& line : recordLines(record_))
        if (isCommandRecord(line)) logs.push_back(engineLogOf(line));
    return logs;
}

std::vector<std::string> RecordingEngine::commandLines() const {
    std::vector<std::string> runs;
    for (const std::string& line : records())
        if (line.rfind("cmd ", 0) == 0) runs.push_back(line.substr(4));
    return runs;
}

}  // namespace testing_support

// Running the real launcher from tests.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include "buildinfo/build_constants.h"
#include "platform/win_handles.h"
#include "mutex_held_elsewhere.h"
#include "process/installer_lock.h"
#include "products/kit_product_code.h"
#include "test_support.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace e2e {

namespace {

// How much of the launcher's log was there when the current test, or the latest launcher it started through
// Launcher, began: a failure shows the records written since.
size_t logShownFrom = 0;

size_t launcherLogSize() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(launcherLogPath().c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<size_t>(data.nFileSizeLow);
}

// Every failed assertion of an end-to-end test shows the launcher's records that led to it (those written since
// the test, its latest launcher run or the previous failure began), and the recording engine's record when one is
// in use: an assertion on the engine's runs alone says what happened, not why.
class LauncherLogOnFailure : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { logShownFrom = launcherLogSize(); }
    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (!result.failed()) return;
        std::string log = readFile(launcherLogPath());
        // A log written anew since then is shown whole.
        std::string added = log.size() >= logShownFrom ? log.substr(logShownFrom) : log;
        logShownFrom = log.size();
        added.erase(std::remove(added.begin(), added.end(), '\r'), added.end());
        std::printf("The launcher's log since the test or its latest run began:\n%s", added.c_str());
        if (const testing_support::RecordingEngine* engine = testing_support::RecordingEngine::active())
            std::printf("The recording engine's record:\n%s", readFile(engine->recordPath()).c_str());
        std::fflush(stdout);
    }
};

const bool logShownOnFailure =
    (::testing::UnitTest::GetInstance()->listeners().Append(new LauncherLogOnFailure), true);

}  // namespace

std::string binDir() { return testing_support::exeDir(); }

std::string tempDir() { return testing_support::tempRoot(); }

std::string readFile(const std::string& path) { return testing_support::readFile(path); }

std::string launcherLogPath() { return tempDir() + "\\zusched.log"; }

std::string cacheProductFolder() {
    char programData[MAX_PATH] = "";
    EXPECT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, programData));
    return std::string(programData) + "\\Zoltsys\\Package Cache\\" +
           kitProductCode(buildconstants::productVersion, false);
}

std::string cacheBuildFolder() { return cacheProductFolder() + "\\" + std::to_string(buildconstants::buildNumber); }

std::vector<std::string> cacheRunFolders() {
    std::vector<std::string> folders;
    WIN32_FIND_DATAA found;
    UniqueFind find(FindFirstFileA((cacheBuildFolder() + "\\*").c_str(), &found));
    if (!find) return folders;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != ".." && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            folders.push_back(cacheBuildFolder() + "\\" + name);
    } while (FindNextFileA(find.get(), &found));
    return folders;
}

namespace {

std::string cacheMakerFolder() {
    const std::string product = cacheProductFolder();
    return product.substr(0, product.find("\\Package Cache\\"));
}

}  // namespace

Obstacle holdGuardFlag() {
    const std::string zolt = testing_support::localLowFolder() + "\\Lumo\\Zolt";
    CreateDirectoryA((testing_support::localLowFolder() + "\\Lumo").c_str(), nullptr);
    CreateDirectoryA(zolt.c_str(), nullptr);
    HANDLE flag = CreateFileA((zolt + "\\ZOLT_INSTALL_FLAG").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, flag) << GetLastError();
    return Obstacle(flag, [](HANDLE h) { CloseHandle(h); });
}

Obstacle busyInstaller() { return std::make_shared<testing_support::MutexHeldElsewhere>(kInstallerLockName); }

CacheFolderLink::CacheFolderLink(const std::string& target) : place(cacheMakerFolder()), kept(place + ".kept") {
    if (GetFileAttributesA(place.c_str()) != INVALID_FILE_ATTRIBUTES && !MoveFileA(place.c_str(), kept.c_str()))
        return;
    linked = testing_support::makeUnixLink(target, place);
}

CacheFolderLink::~CacheFolderLink() {
    testing_support::runUnixShell("rm -f '" + testing_support::unixPath(place) + "'");
    if (GetFileAttributesA(kept.c_str()) != INVALID_FILE_ATTRIBUTES) MoveFileA(kept.c_str(), place.c_str());
}

bool CacheFolderLink::retarget(const std::string& target) const {
    const std::string link = testing_support::unixPath(place);
    return testing_support::runUnixShell("ln -sfn '" + testing_support::unixPath(target) + "' '" + link +
                                         ".new' && mv -T '" + link + ".new' '" + link + "'") == 0;
}

std::string withRunFolderAsPlaceholder(const std::string& text) {
    const std::string build = cacheBuildFolder() + "\\";
    std::string result = text;
    for (size_t at = result.find(build); at != std::string::npos; at = result.find(build, at + 1)) {
        const size_t run = at + build.size();
        size_t end = run;
        while (end < result.size() && std::isxdigit(static_cast<unsigned char>(result[end]))) ++end;
        if (end - run == 8) result.replace(run, 8, "<run>");
    }
    return result;
}

std::string databaseFolderOf(const std::string& commandLine) {
    size_t start = commandLine.find("/i \"");
    if (start == std::string::npos) return std::string();
    start += 4;
    const std::string database = commandLine.substr(start, commandLine.find('"', start) - start);
    const size_t slash = database.find_last_of('\\');
    return slash == std::string::npos ? std::string() : database.substr(0, slash);
}

namespace {

// CreateProcessA, started again after the internal error Wine gives about one start in several hundred on a
// loaded machine (as the launcher's own runner does): such a refusal created no process.
bool startProcess(const char* program, std::string& commandLine, PROCESS_INFORMATION& process) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process))
            return true;
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) return false;
    }
}

}  // namespace

Launcher::Launcher(const std::string& arguments) {
    logShownFrom = launcherLogSize();
    // The launcher built to trust the running account as an owner too: Wine reports it as the owner of every
    // file and folder, which the shipped launcher never trusts.
    std::string commandLine = "\"" + binDir() + "\\tbx-setup-e2e.exe\" " + arguments;
    if (!startProcess(nullptr, commandLine, process))
        throw std::runtime_error("cannot start the launcher: " + std::to_string(GetLastError()));
}

Launcher::~Launcher() {
    if (process.hProcess) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
}

DWORD Launcher::wait(DWORD timeoutMs) {
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        kill();
        throw std::runtime_error("the launcher did not end in time");
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

void Launcher::kill() {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 10000);
}

DWORD runLauncher(const std::string& arguments) { return Launcher(arguments).wait(); }

DWORD runLauncherLogged(const std::string& arguments, std::string& log) {
    const std::string before = readFile(launcherLogPath());
    const DWORD code = runLauncher(arguments);
    const std::string after = readFile(launcherLogPath());
    log = after.size() >= before.size() ? after.substr(before.size()) : after;
    return code;
}

DWORD runProgram(const std::string& program, const std::string& arguments, DWORD timeoutMs) {
    std::string commandLine = "\"" + program + "\" " + arguments;
    PROCESS_INFORMATION process{};
    if (!startProcess(program.c_str(), commandLine, process)) {
        ADD_FAILURE() << "cannot start " << program << ": " << GetLastError();
        return 0xDEADBEEF;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        ADD_FAILURE() << program << " did not end";
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

StandInEngine::StandInEngine()
    : folder(tempDir() + "\\statusmsi-" + std::to_string(GetCurrentProcessId())),
      record(folder + "\\runs.txt"),
      holdName("statusmsi-hold-" + std::to_string(GetCurrentProcessId())) {
    holdEvent = CreateEventA(nullptr, TRUE, FALSE, holdName.c_str());
    if (!holdEvent) throw std::runtime_error("cannot create the stand-in's hold event");
    CreateDirectoryA(folder.c_str(), nullptr);
    if (!CopyFileA((binDir() + "\\statusmsi.exe").c_str(), (folder + "\\msiexec.exe").c_str(), FALSE))
        throw std::runtime_error("cannot place the msiexec stand-in");
    DeleteFileA(record.c_str());
    SetEnvironmentVariableA("STATUSMSI_LOG", record.c_str());
    location.set(folder);
}

StandInEngine::~StandInEngine() {
    SetEnvironmentVariableA("STATUSMSI_LOG", nullptr);
    SetEnvironmentVariableA("STATUSMSI_STATUS", nullptr);
    release();
    CloseHandle(holdEvent);
    // A released stand-in may still be finishing, after a killed launcher for instance.
    for (int i = 0; i < 100 && !DeleteFileA((folder + "\\msiexec.exe").c_str()); ++i) Sleep(100);
    DeleteFileA(record.c_str());
    RemoveDirectoryA(folder.c_str());
}

std::vector<std::string> StandInEngine::runs() const {
    std::vector<std::string> lines;
    std::istringstream in(readFile(record));
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) lines.push_back(testing_support::withoutEngineLog(line));
    return lines;
}

bool StandInEngine::waitForRuns(size_t count, DWORD timeoutMs) const {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (runs().size() < count) {
        if (GetTickCount64() >= end) return false;
        Sleep(50);
    }
    return true;
}

void StandInEngine::hold() {
    ResetEvent(holdEvent);
    SetEnvironmentVariableA("STATUSMSI_HOLD", holdName.c_str());
}

void StandInEngine::release() {
    SetEnvironmentVariableA("STATUSMSI_HOLD", nullptr);
    SetEvent(holdEvent);
}

ProductKeys::ProductKeys() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        for (const char* root : {"SOFTWARE\\Zoltsys\\Zolt Development Kit", "SOFTWARE\\Zoltsys\\Zolt Runtime Environment"})
            keys.push_back(std::make_unique<testing_support::OwnedKey>(HKEY_LOCAL_MACHINE, root, view));
    }
    for (const char* root : {"SOFTWARE\\Zoltsys\\Auto Update", "SOFTWARE\\Zoltsys\\Zolt Update"})
        keys.push_back(std::make_unique<testing_support::OwnedKey>(HKEY_LOCAL_MACHINE, root, KEY_WOW64_32KEY));
}

bool ProductKeys::anyPresent() const {
    for (const auto& key : keys)
        if (key->wasPresent()) return true;
    return false;
}

void ProductKeys::remove() const {
    for (const auto& key : keys) key->remove();
}

void uninstallIfRegistered(const std::string& productCode) {
    const std::string entry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productCode;
    if (!keyExists(KEY_WOW64_32KEY, entry) && !keyExists(KEY_WOW64_64KEY, entry)) return;
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof system);
    std::string commandLine = "\"" + std::string(system) + "\\msiexec.exe\" /x " + productCode + " /qn";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, 120000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void deleteTree(REGSAM view, const std::string& path) {
    size_t slash = path.rfind('\\');
    HKEY parent = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent) !=
        ERROR_SUCCESS)
        return;
    RegDeleteTreeA(parent, path.substr(slash + 1).c_str());
    RegDeleteKeyExA(parent, path.substr(slash + 1).c_str(), view, 0);
    RegCloseKey(parent);
}

bool keyExists(REGSAM view, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace e2e

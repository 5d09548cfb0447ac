// The steps after the kit install, end to end: the public runtime from the kit home, the auto-update component,
// the scheduler registration, and how failures that nothing inside the run handles end it.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "buildinfo/build_constants.h"
#include "e2e_support.h"
#include "launcher/install_guard.h"
#include "platform/sysinfo.h"
#include "process/msiexec_path.h"
#include "products/installed_products.h"
#include "products/product_codes.h"
#include "updatepolicy/au_config.h"

namespace {

const std::string kOwnVersion = buildconstants::productVersion;
const std::string kKitKey = std::string(zoltkeys::kitRoot) + "\\" + kOwnVersion;
const std::string kRuntimeKey = std::string(zoltkeys::runtimeRoot) + "\\" + kOwnVersion;
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";


std::string kitCode() { return kitProductCode(kOwnVersion, false); }
std::string runtimeCode() { return zscrub::ZCleaner::getProductGUID(kOwnVersion, 64); }
std::string zauregLog() { return SysInfo::getProgramFilesCommonX86Dir() + "\\Zolt\\Zolt Update\\zaureg-calls.log"; }
std::string plnLog() { return e2e::tempDir() + "\\pln-demo.log"; }
// The runtime installer's recorded command line, without its engine log switch and line end.
std::string plnCommand() {
    std::string line = e2e::readFile(plnLog());
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.resize(line.size() - 2);
    return testing_support::withoutEngineLog(line);
}
bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string systemEngine() {
    char path[MAX_PATH] = "";
    GetSystemDirectoryA(path, sizeof path);
    return std::string(path) + "\\msiexec.exe";
}

DWORD runEngine(const std::string& arguments) {
    std::string commandLine = "\"" + systemEngine() + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string readValue(REGSAM view, const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return "<no key>";
    char value[1024] = "";
    DWORD size = sizeof value - 1;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? value : "<no value>";
}

void writeValue(REGSAM view, const std::string& path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                             nullptr, &key, nullptr));
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

std::string flagPath() {
    char path[MAX_PATH] = "";
    GetInstallFlagPath(path);
    return path;
}

std::string launcherLog() { return e2e::readFile(e2e::launcherLogPath()); }

// Removes what a test's runs made: the demo kit, the demo runtime and the auto-update component where the
// engine installed them, the keys and the records the demo tools leave, the runtime settings file.
class AfterInstall : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(keys.anyPresent()) << "the suite runs in a prefix of its own";
        DeleteFileA(e2e::launcherLogPath().c_str());
    }
    void TearDown() override { removeEverything(); }
    void removeEverything() const {
        for (const std::string& code : {kitCode(), runtimeCode(), std::string(kAutoUpdateProductCode)})
            e2e::uninstallIfRegistered(code);
        keys.remove();
        DeleteFileA(zauregLog().c_str());
        DeleteFileA(plnLog().c_str());
        // The runtime settings file keeps AUTO_UPDATE from one run to the next.
        char common[MAX_PATH] = "";
        if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common)))
            DeleteFileA((std::string(common) + "\\Vantrel\\Zolt\\zolt.settings.cfg").c_str());
    }
    e2e::ProductKeys keys;
};

// The whole silent road with Wine's engine: kit, public runtime from the kit home, auto-update, registration.
TEST_F(AfterInstall, SilentInstallRunsThePublicRuntimeAndInstallsAutoUpdate) {
    ASSERT_EQ(0u, e2e::runLauncher("/s")) << launcherLog();

    const std::string home = readValue(KEY_WOW64_64KEY, kKitKey, "ZoltHome");
    ASSERT_NE(std::string::npos, home.find("\\Zolt\\tbx-")) << home;
    const std::string installer = home + "\\pln.exe";
    EXPECT_EQ("\"" + installer + "\" /s LAUNCHEDFROMTBX=1", plnCommand());
    EXPECT_FALSE(fileExists(installer)) << "the runtime installer is deleted after it ran";

    // The runtime registered its keys under the product code the launcher computes for it.
    EXPECT_NE("<no key>", readValue(KEY_WOW64_64KEY, kRuntimeKey, "ZoltHome"));
    EXPECT_EQ(buildconstants::fullVersion, readValue(KEY_WOW64_64KEY, kRuntimeKey + "\\MSI", "FullVersion"));
    EXPECT_TRUE(e2e::keyExists(KEY_WOW64_64KEY, kUninstallKey + runtimeCode()));

    EXPECT_EQ(buildconstants::autoUpdateVersion, readValue(KEY_WOW64_32KEY, zoltkeys::autoUpdate, "AUVersion"));
    EXPECT_EQ(std::string("-r pln ") + buildconstants::fullVersion + "\r\n", e2e::readFile(zauregLog()));
    EXPECT_NE(std::string::npos, launcherLog().find("Auto Update is enabled"));
    EXPECT_NE(std::string::npos, launcherLog().find("Wrapper exit code: 0"));
    EXPECT_FALSE(fileExists(flagPath()));
}

// With Wine's engine: every engine run of two runs (the second removes what the first installed) leaves its own
// verbose log beside the launcher's log, under the name the launcher's log gives it.
TEST_F(AfterInstall, EveryEngineRunLeavesItsLogBesideTheLaunchersLog) {
    ASSERT_EQ(0u, e2e::runLauncher("/s")) << launcherLog();
    ASSERT_EQ(0u, e2e::runLauncher("/s")) << launcherLog();
    const std::string log = launcherLog();
    const std::string announcement = "INFO: The Windows Installer logs this run of ";
    std::vector<std::string> packages;
    for (size_t at = log.find(announcement); at != std::string::npos; at = log.find(announcement, at + 1)) {
        const size_t nameStart = at + announcement.size();
        const size_t to = log.find(" to ", nameStart);
        const size_t end = log.find("\r\n", to);
        ASSERT_NE(std::string::npos, end);
        packages.push_back(log.substr(nameStart, to - nameStart));
        const std::string path = log.substr(to + 4, end - to - 4);
        SCOPED_TRACE(path);
        EXPECT_EQ(e2e::tempDir() + "\\tbx-msi-", path.substr(0, e2e::tempDir().size() + 9));
        EXPECT_GT(e2e::readFile(path).size(), 0u) << "the engine wrote no log";
    }
    // The first run: kit, runtime, auto-update component; the second removes the kit and the runtime first (the
    // same auto-update component is left as it is).
    const std::vector<std::string> expected = {"kit",         "runtime",         "auto-update", "kit-removal",
                                               "runtime-removal", "kit",         "runtime"};
    EXPECT_EQ(expected, packages) << log;
}

TEST_F(AfterInstall, DisabledAutoUpdateIsInstalledSwitchedOff) {
    ASSERT_EQ(0u, e2e::runLauncher("/s AUTO_UPDATE=Disable")) << launcherLog();
    EXPECT_NE(std::string::npos, launcherLog().find("Auto Update is disabled via configuration settings"));
    EXPECT_EQ(buildconstants::autoUpdateVersion, readValue(KEY_WOW64_32KEY, zoltkeys::autoUpdate, "AUVersion"));
    HKEY key = nullptr;
    DWORD value = 1, size = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zoltsys\\Zolt Update\\Policy", 0,
                                           KEY_READ | KEY_WOW64_32KEY, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "EnableZoltUpdate", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(&value), &size));
    RegCloseKey(key);
    EXPECT_EQ(0u, value);
}

// Not silent: the quiet switch comes from MSI_CMDLINE, so no window waits for a user.
TEST_F(AfterInstall, InteractiveRunNeverStartsThePublicRuntimeInstaller) {
    ASSERT_EQ(0u, e2e::runLauncher("MSI_CMDLINE=/qn")) << launcherLog();
    const std::string home = readValue(KEY_WOW64_64KEY, kKitKey, "ZoltHome");
    ASSERT_NE(std::string::npos, home.find("\\Zolt\\tbx-")) << home;
    EXPECT_TRUE(fileExists(home + "\\pln.exe"));
    EXPECT_FALSE(fileExists(plnLog()));
    // Without the runtime of this version the auto-update step does not run either.
    EXPECT_FALSE(e2e::keyExists(KEY_WOW64_64KEY, kRuntimeKey));
    EXPECT_EQ("<no key>", readValue(KEY_WOW64_32KEY, zoltkeys::autoUpdate, "AUVersion"));
}

// Points "InstallerLocation" at a folder holding the kit stand-in while it lives.
class KitStandIn {
public:
    KitStandIn(const std::string& home, int exitCode)
        : folder(e2e::tempDir() + "\\kitstandin"), record(folder + "\\runs.txt") {
        CreateDirectoryA(folder.c_str(), nullptr);
        CopyFileA((e2e::binDir() + "\\kitstandin.exe").c_str(), (folder + "\\msiexec.exe").c_str(), FALSE);
        DeleteFileA(record.c_str());
        SetEnvironmentVariableA("KITSTANDIN_LOG", record.c_str());
        SetEnvironmentVariableA("KITSTANDIN_HOME", home.c_str());
        SetEnvironmentVariableA("KITSTANDIN_EXIT", std::to_string(exitCode).c_str());
        location.set(folder);
    }
    ~KitStandIn() {
        for (const char* name : {"KITSTANDIN_LOG", "KITSTANDIN_HOME", "KITSTANDIN_EXIT"})
            SetEnvironmentVariableA(name, nullptr);
        DeleteFileA((folder + "\\msiexec.exe").c_str());
        DeleteFileA(record.c_str());
        RemoveDirectoryA(folder.c_str());
    }
    std::string runs() const { return e2e::readFile(record); }

private:
    testing_support::InstallerLocationOverride location;
    std::string folder;
    std::string record;
};

// A kit install that registers the kit and reports failure still runs the public runtime (pln.exe uses Wine's
// real engine) but never the auto-update step, although the runtime of this version is then registered. One that
// reports a pending restart (3010) has succeeded: both steps run.
TEST_F(AfterInstall, KitResultDecidesTheStepsAfterThePublicRuntime) {
    struct Case {
        int kitExit;
        bool autoUpdate;
    } cases[] = {{1603, false}, {3010, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kitExit);
        removeEverything();
        DeleteFileA(e2e::launcherLogPath().c_str());
        const std::string home = e2e::tempDir() + "\\tbx-e2e-kithome";
        CreateDirectoryA(home.c_str(), nullptr);
        // The demo public runtime installer, as the build leaves it in the payload folder.
        ASSERT_TRUE(CopyFileA((e2e::binDir() + "\\..\\payload\\demo\\pln.exe").c_str(),
                              (home + "\\pln.exe").c_str(), FALSE));
        std::string runs;
        DWORD code = 0;
        {
            KitStandIn engine(home, c.kitExit);
            code = e2e::runLauncher("/s");
            runs = engine.runs();
        }
        EXPECT_EQ(static_cast<DWORD>(c.kitExit), code) << launcherLog();
        EXPECT_EQ(c.autoUpdate ? 2 : 1, static_cast<int>(std::count(runs.begin(), runs.end(), '\n'))) << runs;
        EXPECT_NE(std::string::npos, runs.find("WRAPPER=1"));
        EXPECT_EQ(c.autoUpdate, runs.find("au.msi\" ALLUSERS=1 /qn REBOOT=ReallySuppress") != std::string::npos);
        EXPECT_EQ("\"" + home + "\\pln.exe\" /s LAUNCHEDFROMTBX=1", plnCommand());
        EXPECT_FALSE(fileExists(home + "\\pln.exe"));
        EXPECT_TRUE(e2e::keyExists(KEY_WOW64_64KEY, kRuntimeKey));
        EXPECT_EQ(c.autoUpdate, launcherLog().find("Auto Update is enabled") != std::string::npos);
        EXPECT_EQ(!c.autoUpdate, launcherLog().find("TBX installation failed") != std::string::npos);
        RemoveDirectoryA(home.c_str());
    }
}

// A public runtime installer with a second name elsewhere could be changed through that name while it runs
// elevated: it is neither run nor deleted, a WARNING says why, and the exit code stays the kit's.
TEST_F(AfterInstall, APublicRuntimeInstallerWithASecondNameIsNotRun) {
    const std::string home = e2e::tempDir() + "\\tbx-e2e-kithome";
    const std::string secondName = e2e::tempDir() + "\\pln-second-name.exe";
    CreateDirectoryA(home.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((e2e::binDir() + "\\..\\payload\\demo\\pln.exe").c_str(), (home + "\\pln.exe").c_str(),
                          FALSE));
    DeleteFileA(secondName.c_str());
    ASSERT_TRUE(CreateHardLinkA(secondName.c_str(), (home + "\\pln.exe").c_str(), nullptr));
    DWORD code = 0;
    {
        KitStandIn engine(home, 1603);
        code = e2e::runLauncher("/s");
    }
    EXPECT_EQ(1603u, code);
    EXPECT_FALSE(fileExists(plnLog())) << "the installer ran";
    EXPECT_TRUE(fileExists(home + "\\pln.exe")) << "the installer was deleted";
    const std::string log = launcherLog();
    EXPECT_NE(std::string::npos, log.find("WARNING: The public runtime installer " + home +
                                          "\\pln.exe is not run and not deleted: the file has 2 names"))
        << log;
    DeleteFileA(secondName.c_str());
    DeleteFileA((home + "\\pln.exe").c_str());
    RemoveDirectoryA(home.c_str());
}

// An auto-update component below the baseline keeps its policy plain in one key; the launcher replaces it by
// this build's component with Wine's engine and writes the same schedule and notify type protected.
TEST_F(AfterInstall, UpgradeFromBelowTheBaselineCarriesThePolicyIntoTheCurrentLayout) {
    ASSERT_EQ(0u, runEngine("/i \"" + e2e::binDir() + "\\au_old.msi\" ALLUSERS=1 /qn"));
    ASSERT_EQ("2.0.5.1", readValue(KEY_WOW64_32KEY, zoltkeys::autoUpdate, "AUVersion"));
    const au::Schedule saved{0x4001, 6, 30};
    {
        au::Config old(au::RegDataStore::oldLayout);
        old.setSchedule(saved);
        old.setNotifyType(au::Config::notifyBeforeInstall);
    }
    ASSERT_EQ(0u, e2e::runLauncher("/s")) << launcherLog();
    EXPECT_EQ(buildconstants::autoUpdateVersion, readValue(KEY_WOW64_32KEY, zoltkeys::autoUpdate, "AUVersion"));
    au::Config current(au::RegDataStore::currentLayout);
    bool ok = false;
    EXPECT_EQ(saved, current.getSchedule(&ok));
    EXPECT_TRUE(ok);
    EXPECT_EQ(au::Config::notifyBeforeInstall, current.getNotifyType());
    EXPECT_EQ(std::string("-r pln ") + buildconstants::fullVersion + "\r\n", e2e::readFile(zauregLog()));
    EXPECT_EQ(std::string::npos, launcherLog().find("getSchedule failed")) << launcherLog();
}

// An installed auto-update version that is not four dotted numbers: the exception leaves the auto-update step
// with one ERROR record naming it, and the run still ends with the kit's exit code and no guard flag left.
TEST_F(AfterInstall, UnreadableAutoUpdateVersionIsLoggedAndKeepsTheKitsExitCode) {
    writeValue(KEY_WOW64_32KEY, zoltkeys::autoUpdate, "AUVersion", "2.8");
    EXPECT_EQ(0u, e2e::runLauncher("/s"));
    const std::string log = launcherLog();
    EXPECT_NE(std::string::npos, log.find("(WinMain)]\r\n\tERROR: ")) << log;
    EXPECT_NE(std::string::npos, log.find("Failed to parse [2.8] version string")) << log;
    EXPECT_NE(std::string::npos, log.find("Wrapper exit code: 0"));
    EXPECT_FALSE(fileExists(flagPath()));
    EXPECT_FALSE(fileExists(zauregLog()));
}

}  // namespace

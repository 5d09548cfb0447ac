// The launcher as a deployment tool runs it: silent, unattended, judged by its exit code alone. A recording
// engine returns chosen codes run by run; the runtime settings file, a same-version kit and the runtime of this
// version are set up in the registry and on disk as an installed machine would have them.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "buildinfo/build_constants.h"
#include "config_test_support.h"
#include "e2e_support.h"
#include "products/installed_products.h"
#include "launcher/install_guard.h"
#include "products/product_codes.h"
#include "test_support.h"
#include "platform/registry_key.h"
#include "platform/win_handles.h"

namespace {

const std::string kOwnVersion = buildconstants::productVersion;
const std::string kKitKey = std::string(zoltkeys::kitRoot) + "\\" + kOwnVersion;
const std::string kRuntimeKey = std::string(zoltkeys::runtimeRoot) + "\\" + kOwnVersion;
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

REGSAM installView() { return installArch() == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }
std::string kitCode() { return kitProductCode(kOwnVersion, installArch() == 32); }

void writeKey(const std::string& path, const std::vector<std::pair<const char*, std::string>>& values,
              REGSAM view = installView()) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                             nullptr, &key, nullptr));
    for (const auto& value : values)
        RegSetValueExA(key, value.first, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second.c_str()),
                       static_cast<DWORD>(value.second.size() + 1));
    RegCloseKey(key);
}

std::string readInstallStatus() {
    char status[512] = "";
    ReadInstallStatus(status, sizeof status);
    return status;
}

std::string flagPath() {
    char path[MAX_PATH] = "";
    GetInstallFlagPath(path);
    return path;
}

int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// A kit of this version and this build, registered where the launcher looks for it, so that a run removes it.
void registerSameVersionKit() {
    writeKey(kKitKey, {{"BuildNumber", std::to_string(buildconstants::buildNumber)}, {"ZoltHome", "C:\\kit"}});
    writeKey(kUninstallKey + kitCode(), {});
}

void cleanRegistry() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        e2e::deleteTree(view, zoltkeys::kitRoot);
        e2e::deleteTree(view, zoltkeys::runtimeRoot);
    }
    e2e::deleteTree(installView(), kUninstallKey + kitCode());
    e2e::deleteTree(KEY_WOW64_32KEY, zoltkeys::autoUpdate);
    HKEY software = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zoltsys", 0, KEY_ALL_ACCESS, &software) == ERROR_SUCCESS) {
        RegDeleteValueA(software, "InstallStatus");
        RegCloseKey(software);
    }
}

// The launcher with msirecorder as its engine, a clean product registry and the runtime settings file set aside.
class Deployment : public ::testing::Test {
protected:
    void SetUp() override { cleanRegistry(); }
    void TearDown() override { cleanRegistry(); }

    // Runs the launcher with the engine returning `exitCodes` run by run; `log` receives this run's records.
    DWORD run(const std::string& arguments, const std::string& exitCodes = "0") {
        engine.clearRecord();
        engine.setExit(exitCodes);
        DeleteFileA(e2e::launcherLogPath().c_str());
        DWORD code = e2e::runLauncher(arguments);
        log = e2e::readFile(e2e::launcherLogPath());
        return code;
    }

    // The engine's command lines, without the leading "cmd " of the record.
    std::vector<std::string> engineRuns() const { return engine.commandLines(); }

    config_test::RuntimeFileGuard runtimeFile;
    testing_support::RecordingEngine engine;
    std::string log;
};

std::string withoutCr(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// What each engine result means for the exit code, the runtime settings file and the steps after the kit.
TEST_F(Deployment, EngineResultsDecideTheExitCodeAndWhatRunsAfter) {
    const std::string removal = " /x " + kitCode() + " /qn REBOOT=ReallySuppress";
    const std::string kit = "WRAPPER=1";
    const std::string autoUpdate = "au.msi\" ALLUSERS=1 /qn REBOOT=ReallySuppress";
    struct Case {
        const char* name;
        bool sameVersionKit;    // a kit of this version is installed, so a removal runs first
        bool runtimeInstalled;  // the runtime of this version is registered, so the auto-update step may run
        bool reinstallAsked;    // the installed product asks for a second kit run
        const char* engineExits;
        DWORD exitCode;
        std::vector<std::string> runs;  // a distinctive part of each engine command line, in order
        bool settingsKept;              // the exported runtime settings file stays (no restore)
    } cases[] = {
        {"success", false, true, false, "0", 0, {kit, autoUpdate}, true},
        {"success with a restart pending is success", false, true, false, "3010", 3010, {kit, autoUpdate}, true},
        {"Windows restarting: no reinstall pass, no auto-update", false, true, true, "1641", 1641, {kit}, true},
        {"the reinstall pass runs otherwise", false, false, true, "0", 0, {kit, kit}, true},
        {"failure: restored, no auto-update", false, true, false, "1603", 1603, {kit}, false},
        {"removal wants a restart: installed, and the run says so", true, false, false, "3010,0", 3010,
         {removal, kit}, true},
        {"removal wants a restart, then the kit fails: the failure counts", true, false, false, "3010,1603", 1603,
         {removal, kit}, false},
        {"removal wants a restart, the kit too", true, false, false, "3010,3010", 3010, {removal, kit}, true},
        {"removal fails: stopped before the install", true, false, false, "1603", e2e::exitCode(kExitFailed),
         {removal}, false},
        {"auto-update wants a restart: the exit code is the kit's", false, true, false, "0,3010", 0,
         {kit, autoUpdate}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cleanRegistry();
        DeleteFileA(runtimeFile.path().c_str());
        if (c.sameVersionKit) registerSameVersionKit();
        if (c.runtimeInstalled) writeKey(kRuntimeKey, {{"BuildNumber", "1"}}, KEY_WOW64_64KEY);
        if (c.reinstallAsked) writeKey("Software\\Zoltsys", {{"InstallStatus", "reinstall"}}, 0);

        EXPECT_EQ(c.exitCode, run("/s EULA=Enable", c.engineExits)) << log;
        const std::vector<std::string> runs = engineRuns();
        // The checks below still run and say more when a run is missing.
        EXPECT_EQ(c.runs.size(), runs.size()) << e2e::readFile(engine.recordPath());
        for (size_t i = 0; i < runs.size() && i < c.runs.size(); ++i)
            EXPECT_NE(std::string::npos, runs[i].find(c.runs[i])) << runs[i];
        if (c.reinstallAsked && c.exitCode == e2e::exitCode(kExitEngineRebootStarted)) {
            EXPECT_EQ("reinstall", readInstallStatus());
        }

        const bool failed = c.exitCode == 1603;
        EXPECT_EQ(failed, log.find("TBX installation failed") != std::string::npos) << log;
        EXPECT_EQ(std::string::npos, log.find("Auto Update install failed"));
        if (c.exitCode != e2e::exitCode(kExitFailed)) {
            const std::string record = "Wrapper exit code: " + std::to_string(static_cast<int>(c.exitCode));
            EXPECT_NE(std::string::npos, log.find(record));
        }
        if (c.settingsKept) {
            ASSERT_TRUE(runtimeFile.exists());
            EXPECT_EQ("EULA=Enable\n", withoutCr(runtimeFile.read()));
        } else {
            EXPECT_FALSE(runtimeFile.exists());
        }
        EXPECT_FALSE(testing_support::fileExists(flagPath()));
    }
}

// Something in the runtime settings file's way for as long as it lives; it checks, before it goes, that the run
// left it as it was.
class SettingsObstacle {
public:
    virtual ~SettingsObstacle() = default;
    virtual void expectLeftAsItWas() const {}
};

// Replaces the runtime settings folder by a file of the same name that another process holds without delete
// sharing, so that no settings file can be created there and the file cannot be set aside for a new folder (as
// root under Wine nothing else makes a folder unwritable).
class FileWhereTheSettingsFolderBelongs : public SettingsObstacle {
public:
    explicit FileWhereTheSettingsFolderBelongs(const config_test::RuntimeFileGuard& settingsFile)
        : folder(settingsFile.path().substr(0, settingsFile.path().find_last_of('\\'))) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileA((folder + "\\" + found.cFileName).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder.c_str());
        CreateDirectoryA(folder.substr(0, folder.find_last_of('\\')).c_str(), nullptr);
        testing_support::writeFile(folder, "not a folder");
        held.reset(CreateFileA(folder.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(held) << "cannot hold " << folder;
    }
    ~FileWhereTheSettingsFolderBelongs() override {
        held.reset();
        DeleteFileA(folder.c_str());
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    void expectLeftAsItWas() const override { EXPECT_EQ("not a folder", testing_support::readFile(folder)); }

private:
    std::string folder;
    UniqueFile held;
};

// A settings file that another process holds: read access shared, writing and deleting not, so the launcher can
// read the file but not replace it.
class HeldSettingsFile : public SettingsObstacle {
public:
    explicit HeldSettingsFile(const config_test::RuntimeFileGuard& settingsFile) : file(settingsFile) {
        file.write(kContent);
        held.reset(CreateFileA(file.path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr));
        EXPECT_TRUE(held) << "cannot hold " << file.path();
    }
    void expectLeftAsItWas() const override { EXPECT_EQ(kContent, withoutCr(file.read())); }

private:
    static constexpr const char* kContent = "AUTO_UPDATE=Disable\n";
    const config_test::RuntimeFileGuard& file;
    UniqueFile held;
};

// A folder where the settings file belongs.
class FolderWhereTheSettingsFileBelongs : public SettingsObstacle {
public:
    explicit FolderWhereTheSettingsFileBelongs(const config_test::RuntimeFileGuard& settingsFile)
        : path(settingsFile.path()) {
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~FolderWhereTheSettingsFileBelongs() override { RemoveDirectoryA(path.c_str()); }
    void expectLeftAsItWas() const override {
        DWORD attributes = GetFileAttributesA(path.c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    }

private:
    std::string path;
};

template <class Obstacle>
std::unique_ptr<SettingsObstacle> place(const config_test::RuntimeFileGuard& settingsFile) {
    return std::make_unique<Obstacle>(settingsFile);
}

// A settings file that cannot be written is found before the same-version kit is removed: the run ends with -80,
// nothing is removed or installed, and the guard flag is gone. A folder in the settings file's place is not read
// and stays where it is.
TEST_F(Deployment, ARuntimeSettingsFileThatCannotBeWrittenStopsBeforeAnythingIsRemoved) {
    struct Case {
        const char* name;
        std::unique_ptr<SettingsObstacle> (*obstruct)(const config_test::RuntimeFileGuard& settingsFile);
        const char* message;
        const char* detail;  // another text the log holds, or null
    } cases[] = {
        {"no file can be created in its folder", place<FileWhereTheSettingsFolderBelongs>,
         "Writing to the runtime configuration file failed.", "result 306"},
        {"the file is held by another process", place<HeldSettingsFile>,
         "Writing to the runtime configuration file failed.", nullptr},
        // Not read at all: anything but a plain file in its place is not trusted.
        {"a folder stands where the file belongs", place<FolderWhereTheSettingsFileBelongs>,
         "is not trusted (it cannot be opened for reading alone", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cleanRegistry();
        DeleteFileA(runtimeFile.path().c_str());
        registerSameVersionKit();
        DWORD code = 0;
        {
            std::unique_ptr<SettingsObstacle> obstacle = c.obstruct(runtimeFile);
            code = run("/s EULA=Enable");
            obstacle->expectLeftAsItWas();
        }
        EXPECT_EQ(e2e::exitCode(kExitConfigurationRefused), code) << log;
        EXPECT_TRUE(engineRuns().empty()) << "nothing removed, nothing installed";
        EXPECT_EQ(1, occurrences(log, c.message)) << log;
        EXPECT_NE(std::string::npos, log.find("\tERROR: ")) << log;
        EXPECT_FALSE(testing_support::fileExists(flagPath()));
        if (c.detail) {
            EXPECT_NE(std::string::npos, log.find(c.detail)) << log;
        }
    }
}

// Points the per-user folder (LocalLow) somewhere else while it lives, as a profile redirected by policy would.
class RedirectedLocalLow {
public:
    explicit RedirectedLocalLow(const std::string& folder) {
        EXPECT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, kKey, KEY_READ | KEY_WRITE));
        char value[1024] = "";
        DWORD size = sizeof value - 1;
        DWORD type = 0;
        hadValue = RegQueryValueExA(key.get(), kValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                   ERROR_SUCCESS;
        previousType = type;
        previous.assign(value, size);
        RegSetValueExA(key.get(), kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size() + 1));
    }
    ~RedirectedLocalLow() {
        if (hadValue)
            RegSetValueExA(key.get(), kValue, 0, previousType, reinterpret_cast<const BYTE*>(previous.data()),
                           static_cast<DWORD>(previous.size()));
        else
            RegDeleteValueA(key.get(), kValue);
    }

private:
    static constexpr const char* kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    static constexpr const char* kValue = "{A520A1A4-1780-4FF6-BD18-167343C5AF16}";
    RegistryKey key;
    bool hadValue = false;
    DWORD previousType = REG_SZ;
    std::string previous;
};

// A per-user folder that cannot be found stops the run with an ERROR record and 1627; nothing is written to the
// root of the drive, where any user could have prepared the folders. (Wine gives no folder longer than MAX_PATH,
// so the 206 of a folder that does not fit cannot be shown here.)
TEST_F(Deployment, APerUserFolderThatCannotBeFoundStopsTheRun) {
    RemoveDirectoryA("C:\\Lumo");
    DWORD code = 0;
    {
        RedirectedLocalLow redirected(e2e::tempDir() + "\\tbx-no-such-locallow");
        code = run("/s");
    }
    EXPECT_EQ(e2e::exitCode(kExitFunctionFailed), code) << log;
    EXPECT_TRUE(engineRuns().empty());
    EXPECT_NE(std::string::npos, log.find("(GetUserDataFolder)]\r\n\tERROR: ")) << log;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Lumo")) << "nothing at the root of the drive";
}

// The user's own registry says where LocalLow is, and the user may point it anywhere: the engine is still handed a
// payload below the common application data folder, where only administrators can change it, and the per-user
// folder keeps only the guard flag.
TEST_F(Deployment, ThePayloadGoesToThePackageCacheWhereverTheUsersFolderIs) {
    testing_support::TempDir usersOwn;
    DWORD code = 0;
    {
        RedirectedLocalLow redirected(usersOwn.path());
        code = run("/s");
    }
    EXPECT_EQ(0u, code) << log;
    const std::vector<std::string> runs = engineRuns();
    ASSERT_EQ(1u, runs.size()) << log;
    const std::string folder = e2e::databaseFolderOf(runs[0]);
    EXPECT_EQ(e2e::cacheBuildFolder(), folder.substr(0, folder.find_last_of('\\'))) << runs[0];
    EXPECT_EQ(std::string::npos, runs[0].find(usersOwn.path())) << runs[0];
    EXPECT_TRUE(testing_support::fileExists(folder + "\\tbx" + kOwnVersion + ".msi"));
    EXPECT_FALSE(testing_support::fileExists(usersOwn.path() + "\\Lumo\\Zolt\\tbx" + kOwnVersion + "_x64"));
}

}  // namespace

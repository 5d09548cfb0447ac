// /uninstall end to end with Wine's own engine: after a silent install (kit, public runtime, auto-update
// component), /check /uninstall changes nothing, /uninstall removes every product, key, folder and payload copy
// the launcher placed, a second /uninstall finds nothing and ends with 0, and a refused one leaves it all.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "buildinfo/build_constants.h"
#include "e2e_support.h"
#include "mutex_held_elsewhere.h"
#include "platform/sysinfo.h"
#include "recording_engine.h"
#include "process/installer_lock.h"
#include "products/installed_products.h"
#include "products/kit_product_code.h"
#include "products/product_codes.h"
#include "test_support.h"

namespace {

using testing_support::fileExists;
using testing_support::localLowFolder;

const std::string kOwnVersion = buildconstants::productVersion;
const std::string kKitKey = std::string(zoltkeys::kitRoot) + "\\" + kOwnVersion;
const std::string kRuntimeKey = std::string(zoltkeys::runtimeRoot) + "\\" + kOwnVersion;
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kPolicyKey = "SOFTWARE\\Zoltsys\\Zolt Update\\Policy";

std::string kitCode() { return kitProductCode(kOwnVersion, false); }
std::string runtimeCode() { return zscrub::ZCleaner::getProductGUID(kOwnVersion, 64); }
std::vector<std::string> productCodes() { return {kitCode(), runtimeCode(), kAutoUpdateProductCode}; }

std::string commonAppData() {
    char path[MAX_PATH] = "";
    EXPECT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path));
    return path;
}
std::string settingsFile() { return commonAppData() + "\\Vantrel\\Zolt\\zolt.settings.cfg"; }
std::string kitPayloadLeftBehind() { return localLowFolder() + "\\Lumo\\Zolt\\tbx" + kOwnVersion + "_x64"; }
std::string autoUpdatePayloadLeftBehind() { return localLowFolder() + "\\Vantrel\\Zolt\\AU"; }
std::string flagPath() { return localLowFolder() + "\\Lumo\\Zolt\\ZOLT_INSTALL_FLAG"; }

std::string readHome(const std::string& key) {
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "ZoltHome", RRF_RT_REG_SZ | KEY_WOW64_64KEY, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return "";
    return value;
}

bool registeredInEitherView(const std::string& path) {
    return e2e::keyExists(KEY_WOW64_32KEY, path) || e2e::keyExists(KEY_WOW64_64KEY, path);
}

using e2e::busyInstaller;
using e2e::holdGuardFlag;
using e2e::Obstacle;

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(keys.anyPresent()) << "the suite runs in a prefix of its own";
        removeEverything();
    }
    void TearDown() override { removeEverything(); }

    void removeEverything() const {
        for (const std::string& code : productCodes()) e2e::uninstallIfRegistered(code);
        keys.remove();
        DeleteFileA(settingsFile().c_str());
        testing_support::removeTree(e2e::cacheProductFolder());
        testing_support::removeTree(kitPayloadLeftBehind());
        testing_support::removeTree(autoUpdatePayloadLeftBehind());
        // What the demo runtime installer and scheduler tool record of their calls.
        DeleteFileA((SysInfo::getProgramFilesCommonX86Dir() + "\\Zolt\\Zolt Update\\zaureg-calls.log").c_str());
        DeleteFileA((e2e::tempDir() + "\\pln-demo.log").c_str());
    }

    // A silent install with Wine's engine that keeps a runtime settings file, and the payload folders a launcher
    // before the package cache left.
    void install() {
        ASSERT_EQ(0u, run("/s EULA=Enable")) << log;
        for (const std::string& code : productCodes())
            ASSERT_TRUE(registeredInEitherView(kUninstallKey + code)) << code << log;
        kitHome = readHome(kKitKey);
        ASSERT_FALSE(kitHome.empty());
        ASSERT_TRUE(fileExists(e2e::cacheProductFolder()));
        for (const std::string& folder : {kitPayloadLeftBehind(), autoUpdatePayloadLeftBehind()}) {
            SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
            testing_support::writeFile(folder + "\\left.msi", "an earlier launcher's payload");
        }
        ASSERT_TRUE(fileExists(settingsFile())) << "the install keeps its runtime settings";
    }

    DWORD run(const std::string& arguments) {
        DeleteFileA(e2e::launcherLogPath().c_str());
        const DWORD code = e2e::runLauncher(arguments);
        log = e2e::readFile(e2e::launcherLogPath());
        return code;
    }

    // Everything the install placed is still there.
    void expectInstalled() const {
        for (const std::string& code : productCodes())
            EXPECT_TRUE(registeredInEitherView(kUninstallKey + code)) << code;
        EXPECT_TRUE(e2e::keyExists(KEY_WOW64_64KEY, kKitKey));
        EXPECT_TRUE(e2e::keyExists(KEY_WOW64_64KEY, kRuntimeKey));
        EXPECT_TRUE(fileExists(kitHome));
        EXPECT_TRUE(fileExists(e2e::cacheProductFolder()));
        EXPECT_TRUE(fileExists(kitPayloadLeftBehind() + "\\left.msi"));
        EXPECT_TRUE(fileExists(autoUpdatePayloadLeftBehind() + "\\left.msi"));
        EXPECT_TRUE(fileExists(settingsFile()));
    }

    e2e::ProductKeys keys;
    std::string kitHome;
    std::string log;
};

TEST_F(Uninstall, CheckThenUninstallRemovesEverythingTheLauncherPlaced) {
    install();

    ASSERT_EQ(0u, run("/check /uninstall /s")) << log;
    for (const std::string& code : productCodes())
        EXPECT_NE(std::string::npos, log.find("/x " + code + " /qn")) << code << log;
    EXPECT_NE(std::string::npos, log.find(e2e::cacheProductFolder())) << log;
    EXPECT_NE(std::string::npos, log.find("Expected exit code: 0")) << log;
    expectInstalled();

    ASSERT_EQ(0u, run("/uninstall /s")) << log;
    EXPECT_EQ(std::string::npos, log.find("ERROR")) << log;
    for (const std::string& code : productCodes()) {
        EXPECT_FALSE(e2e::keyExists(KEY_WOW64_32KEY, kUninstallKey + code)) << code;
        EXPECT_FALSE(e2e::keyExists(KEY_WOW64_64KEY, kUninstallKey + code)) << code;
    }
    for (const std::string& key : {kKitKey, kRuntimeKey, std::string(zoltkeys::autoUpdate)})
        EXPECT_FALSE(registeredInEitherView(key)) << key;
    EXPECT_FALSE(fileExists(kitHome)) << "the kit's folder";
    EXPECT_FALSE(fileExists(e2e::cacheProductFolder())) << "the package cache";
    EXPECT_FALSE(fileExists(kitPayloadLeftBehind()));
    EXPECT_FALSE(fileExists(autoUpdatePayloadLeftBehind()));
    EXPECT_FALSE(fileExists(flagPath()));
    // Each removal's engine log beside the launcher's.
    const std::string logFolder = e2e::launcherLogPath().substr(0, e2e::launcherLogPath().rfind('\\'));
    for (const char* package : {"kit-removal", "runtime-removal", "auto-update-removal"}) {
        WIN32_FIND_DATAA found;
        const HANDLE search =
            FindFirstFileA((logFolder + "\\tbx-msi-*-" + package + ".log").c_str(), &found);
        EXPECT_NE(INVALID_HANDLE_VALUE, search) << package;
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
    }
    // Kept by default, so that a reinstall remembers them.
    EXPECT_TRUE(fileExists(settingsFile()));

    // Nothing left to remove: a success, and a record says so.
    EXPECT_EQ(0u, run("/uninstall /s")) << log;
    EXPECT_NE(std::string::npos, log.find("Nothing of the Zolt Development Kit " + kOwnVersion + " is installed"))
        << log;
    EXPECT_NE(std::string::npos, log.find("Wrapper exit code: 0")) << log;
}

TEST_F(Uninstall, RemoveSettingsTakesTheSettingsFileAndThePolicyToo) {
    install();
    // The policy a component installed earlier kept.
    HKEY policy = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &policy, nullptr));
    const DWORD notify = 1;
    RegSetValueExA(policy, "NotifyType", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&notify), sizeof notify);
    RegCloseKey(policy);
    ASSERT_EQ(0u, run("-UNINSTALL /S /RemoveSettings")) << log;
    EXPECT_FALSE(fileExists(settingsFile()));
    EXPECT_FALSE(e2e::keyExists(KEY_WOW64_32KEY, kPolicyKey));
    EXPECT_FALSE(registeredInEitherView(kUninstallKey + kitCode()));
}

// Another kit version still installed keeps the component it shares.
TEST_F(Uninstall, AnotherKitVersionKeepsTheAutoUpdateComponent) {
    install();
    const std::string otherVersion = std::string(zoltkeys::kitRoot) + "\\1.8.0_02";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, otherVersion.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr));
    RegCloseKey(key);
    ASSERT_EQ(0u, run("/uninstall /s")) << log;
    EXPECT_FALSE(registeredInEitherView(kUninstallKey + kitCode()));
    EXPECT_FALSE(registeredInEitherView(kUninstallKey + runtimeCode()));
    EXPECT_TRUE(registeredInEitherView(kUninstallKey + kAutoUpdateProductCode));
    EXPECT_NE(std::string::npos, log.find("The auto-update component stays: other kit versions are installed: "
                                          "1.8.0_02"))
        << log;
    e2e::deleteTree(KEY_WOW64_64KEY, otherVersion);
}

// The payload an earlier launcher left in another account's profile goes too, also when nothing is installed.
TEST_F(Uninstall, PayloadFoldersOfOtherAccountsAreRemoved) {
    const std::string profile = e2e::tempDir() + "\\tbx-e2e-other-account";
    const std::string left = profile + "\\AppData\\LocalLow\\Lumo\\Zolt\\tbx" + kOwnVersion + "_x64";
    ASSERT_EQ(0, SHCreateDirectoryExA(nullptr, left.c_str(), nullptr));
    testing_support::writeFile(left + "\\tbx.msi", "an earlier launcher's payload");
    const std::string account =
        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-1-2-3-1999";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, account.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr));
    RegSetValueExA(key, "ProfileImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(profile.c_str()),
                   static_cast<DWORD>(profile.size() + 1));
    RegCloseKey(key);

    EXPECT_EQ(0u, run("/uninstall /s")) << log;
    EXPECT_FALSE(fileExists(left)) << log;
    EXPECT_TRUE(fileExists(profile + "\\AppData\\LocalLow\\Lumo\\Zolt")) << "only the payload goes";
    EXPECT_NE(std::string::npos, log.find("Nothing of the Zolt Development Kit " + kOwnVersion + " is installed"))
        << log;
    e2e::deleteTree(KEY_WOW64_64KEY, account);
    testing_support::removeTree(profile);
}

// A link in place of the package cache's first folder is refused, and what it leads to stays.
TEST_F(Uninstall, ALinkInThePackageCachesPlaceIsNotFollowed) {
    testing_support::TempDir theirs;
    const std::string theirCache = theirs.path() + "\\Package Cache\\" + kitCode();
    ASSERT_EQ(0, SHCreateDirectoryExA(nullptr, theirCache.c_str(), nullptr));
    testing_support::writeFile(theirCache + "\\theirs.txt", "not the launcher's");
    {
        e2e::CacheFolderLink link(theirs.path());
        ASSERT_TRUE(link.made());
        EXPECT_EQ(e2e::exitCode(kExitTampered), run("/uninstall /s")) << log;
    }
    EXPECT_TRUE(fileExists(theirCache + "\\theirs.txt")) << log;
    EXPECT_NE(std::string::npos, log.find("the kit's package cache (")) << log;
}

// A refused uninstall removes nothing: the refusals come before the first removal.
TEST_F(Uninstall, ARefusedUninstallLeavesEverythingInstalled) {
    install();
    struct Case {
        const char* name;
        std::function<Obstacle()> obstacle;
        const char* arguments;
        int exitCode;
        const char* logged;
    } cases[] = {
        {"another installation holds the guard", holdGuardFlag, "/uninstall /s", kExitFailed,
         "Another Zolt installation is in progress."},
        {"the Windows Installer stays busy", busyInstaller, "/uninstall /s INSTALLER_WAIT=0", kExitInstallerBusy,
         "giving up"},
        // A check ends with the code the run would end with.
        {"a check while another installation holds the guard", holdGuardFlag, "/check /uninstall /s", kExitFailed,
         "Expected exit code: -1"},
        {"a check while the Windows Installer is busy", busyInstaller, "/check /uninstall /s INSTALLER_WAIT=0",
         kExitInstallerBusy, "Expected exit code: 1618"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Obstacle obstacle = c.obstacle();
        EXPECT_EQ(e2e::exitCode(c.exitCode), run(c.arguments)) << log;
        EXPECT_NE(std::string::npos, log.find(c.logged)) << log;
        EXPECT_EQ(std::string::npos, log.find("Removing ")) << log;
        expectInstalled();
    }
}

// Each engine result, with the products registered but the engine a recorder: what the run does next and ends
// with, and that the removals it runs are the very command lines /check printed.
class UninstallResults : public ::testing::Test {
protected:
    void SetUp() override {
        clean();
        for (const std::string& key : registered()) {
            HKEY created = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                                     KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &created, nullptr));
            RegCloseKey(created);
        }
    }
    void TearDown() override { clean(); }
    static std::vector<std::string> registered() {
        std::vector<std::string> keys = {kKitKey};
        for (const std::string& code : productCodes()) keys.push_back(kUninstallKey + code);
        return keys;
    }
    static void clean() {
        for (const std::string& key : registered()) e2e::deleteTree(KEY_WOW64_64KEY, key);
    }
    DWORD run(const std::string& arguments, const std::string& exitCodes) {
        engine.clearRecord();
        engine.setExit(exitCodes);
        DeleteFileA(e2e::launcherLogPath().c_str());
        const DWORD code = e2e::runLauncher(arguments);
        log = e2e::readFile(e2e::launcherLogPath());
        return code;
    }
    testing_support::RecordingEngine engine;
    std::string log;
};

TEST_F(UninstallResults, EachEngineResultDecidesWhatFollowsAndTheExitCode) {
    struct Case {
        const char* name;
        const char* engineCodes;
        int exitCode;
        size_t engineRuns;
        const char* logged;
    } cases[] = {
        {"all removed", "0", 0, 3, "Everything of the Zolt Development Kit"},
        {"the runtime wants a restart", "0,3010,0", kExitEngineRebootRequired, 3,
         "Removed the public runtime "},
        {"the kit's removal restarts Windows", "1641", kExitEngineRebootStarted, 1,
         "Windows is restarting after the removal of the kit"},
        {"the kit's removal fails", "1603", 1603, 1, "); the uninstall stops. What stays: the kit "},
        {"the installer taken after the kit", "0,1618", kExitInstallerBusy, 2,
         "The engine did not remove the public runtime"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0u, run("/check /uninstall /s", "0")) << log;
        ASSERT_TRUE(engine.commandLines().empty()) << "a check runs nothing";
        const std::string checked = log;
        EXPECT_EQ(e2e::exitCode(c.exitCode), run("/uninstall /s", c.engineCodes)) << log;
        const std::vector<std::string> commands = engine.commandLines();
        EXPECT_EQ(c.engineRuns, commands.size()) << log;
        // Each as /check printed it, with an engine log of its own named when it starts.
        for (const std::string& command : commands) {
            const size_t at = checked.find(command);
            ASSERT_NE(std::string::npos, at) << command;
            EXPECT_TRUE(checked[at + command.size()] == '\r' || checked[at + command.size()] == '\n') << command;
        }
        for (const std::string& engineLog : engine.engineLogs())
            EXPECT_NE(std::string::npos, engineLog.find("-removal.log")) << engineLog;
        EXPECT_NE(std::string::npos, log.find(c.logged)) << log;
    }
    // A failed removal names everything after it too.
    run("/uninstall /s", "1603");
    for (const std::string& code : productCodes()) EXPECT_NE(std::string::npos, log.find("(" + code + ")")) << log;
}

}  // namespace

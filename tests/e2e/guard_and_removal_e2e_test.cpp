// The launcher end to end: the installation guard between two launchers, the reinstall pass, removal of a
// same-version kit or runtime with the real Windows Installer engine, and bad product registry data.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "buildinfo/build_constants.h"
#include "e2e_support.h"
#include "launcher/install_guard.h"
#include "products/installed_products.h"
#include "products/product_codes.h"

namespace {

const std::string kOwnVersion = buildconstants::productVersion;
const std::string kKitKey = std::string(zoltkeys::kitRoot) + "\\" + kOwnVersion;
const std::string kRuntimeKey = std::string(zoltkeys::runtimeRoot) + "\\" + kOwnVersion;
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

REGSAM installView() { return installArch() == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }
std::string kitCode() { return kitProductCode(kOwnVersion, installArch() == 32); }
std::string runtimeCode() { return zscrub::ZCleaner::getProductGUID(kOwnVersion, installArch()); }

// Creates a key in the install view and sets string values on it.
void writeKey(const std::string& path, const std::vector<std::pair<const char*, std::string>>& values) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | installView(), nullptr, &key, nullptr));
    for (const auto& value : values)
        RegSetValueExA(key, value.first, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second.c_str()),
                       static_cast<DWORD>(value.second.size() + 1));
    RegCloseKey(key);
}

std::string flagPath() {
    char path[MAX_PATH] = "";
    GetInstallFlagPath(path);
    return path;
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int countOf(const std::vector<std::string>& runs, const std::string& text) {
    int n = 0;
    for (const std::string& run : runs)
        if (run.find(text) != std::string::npos) ++n;
    return n;
}

// What the tests and the launcher's runs register: the product keys, the Uninstall entries of this version's kit
// and runtime, the reinstall status. The suite's fresh prefix has none of them.
class ProductRegistry {
public:
    bool present() const {
        return keys.anyPresent() || e2e::keyExists(installView(), kUninstallKey + kitCode()) ||
               e2e::keyExists(installView(), kUninstallKey + runtimeCode());
    }
    void clean() const {
        keys.remove();
        e2e::deleteTree(installView(), kUninstallKey + kitCode());
        e2e::deleteTree(installView(), kUninstallKey + runtimeCode());
    }

private:
    e2e::ProductKeys keys;
};

class StandInEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(registry.present()) << "the suite runs in a prefix of its own";
        DeleteFileA(e2e::launcherLogPath().c_str());
    }
    void TearDown() override { registry.clean(); }
    void cleanProductRegistry() const { registry.clean(); }
    ProductRegistry registry;
    std::string log() const { return e2e::readFile(e2e::launcherLogPath()); }
    e2e::StandInEngine engine;
};

TEST_F(StandInEngineTest, OfTwoLaunchersStartedTogetherExactlyOneInstalls) {
    // The engine run of the winner lasts until the loser has ended, however slowly either starts.
    engine.hold();
    e2e::Launcher first("/s");
    e2e::Launcher second("/s");
    ASSERT_TRUE(engine.waitForRuns(1)) << "neither launcher reached the engine";
    const HANDLE both[] = {first.handle(), second.handle()};
    EXPECT_GT(WAIT_OBJECT_0 + 2, WaitForMultipleObjects(2, both, FALSE, 300000)) << "neither launcher ended";
    engine.release();
    DWORD codes[2] = {first.wait(), second.wait()};
    EXPECT_EQ(1, (codes[0] == 0) + (codes[1] == 0)) << codes[0] << " " << codes[1];
    EXPECT_EQ(1, (codes[0] == e2e::exitCode(kExitFailed)) + (codes[1] == e2e::exitCode(kExitFailed)))
        << codes[0] << " " << codes[1];
    EXPECT_EQ(1, countOf(engine.runs(), " /i ")) << log();
    EXPECT_FALSE(fileExists(flagPath()));
}

TEST_F(StandInEngineTest, LauncherStartedDuringAnInstallationStopsBeforeExtracting) {
    engine.hold();
    e2e::Launcher first("/s");
    engine.waitForRuns(1);
    ASSERT_EQ(1u, engine.runs().size()) << "the first launcher never reached the engine";
    EXPECT_TRUE(fileExists(flagPath()));

    EXPECT_EQ(e2e::exitCode(kExitFailed), e2e::runLauncher("/s"));
    EXPECT_NE(std::string::npos, log().find("TBX wrapper: Another Zolt installation is in progress. You must complete "
                                            "that installation before you can run this installer."));
    // Only the first launcher composed an installer command.
    size_t composed = 0;
    for (size_t at = log().find("szTBXExeCommand"); at != std::string::npos; at = log().find("szTBXExeCommand", at + 1))
        ++composed;
    EXPECT_EQ(1u, composed);

    engine.release();
    EXPECT_EQ(0u, first.wait());
    EXPECT_FALSE(fileExists(flagPath()));
    EXPECT_EQ(0u, e2e::runLauncher("/s"));
    EXPECT_EQ(2, countOf(engine.runs(), " /i "));
}

TEST_F(StandInEngineTest, KilledLauncherLeavesNoFlagBehind) {
    engine.hold();
    e2e::Launcher first("/s");
    engine.waitForRuns(1);
    ASSERT_EQ(1u, engine.runs().size());
    first.kill();
    EXPECT_FALSE(fileExists(flagPath()));
    engine.release();
    EXPECT_EQ(0u, e2e::runLauncher("/s"));
}

TEST_F(StandInEngineTest, ReinstallStatusAsksForExactlyOneMoreEngineRun) {
    struct Case {
        const char* status;
        int runs;
        bool valueLeft;
    };
    const Case cases[] = {{"reinstall", 2, false}, {"Reinstall", 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        e2e::StandInEngine caseEngine;
        SetEnvironmentVariableA("STATUSMSI_STATUS", c.status);
        EXPECT_EQ(0u, e2e::runLauncher("/s"));
        std::vector<std::string> runs = caseEngine.runs();
        ASSERT_EQ(static_cast<size_t>(c.runs), runs.size());
        if (c.runs == 2) {
            EXPECT_EQ(runs[0], runs[1]);
        }
        char status[512] = "";
        EXPECT_EQ(c.valueLeft, ReadInstallStatus(status, sizeof status));
        cleanProductRegistry();
    }
}

TEST_F(StandInEngineTest, BadProductRegistryDataIsLoggedAndSkipped) {
    // The kit of this version, registered but with no home; its code is removed through the engine.
    writeKey(kKitKey, {{"BuildNumber", "12"}, {"ZoltHome", ""}});
    writeKey(kUninstallKey + kitCode(), {});
    // A runtime of this version whose build is text and whose full version does not parse.
    writeKey(kRuntimeKey, {{"BuildNumber", "abc"}, {"ZoltHome", "C:\\pln"}});
    writeKey(kRuntimeKey + "\\MSI", {{"FullVersion", "garbage"}, {"MODE", "S"}});
    // A runtime whose home is a 3-byte number, and one whose key name is no version.
    writeKey(std::string(zoltkeys::runtimeRoot) + "\\not.a.version", {{"ZoltHome", "C:\\x"}});
    HKEY odd = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(zoltkeys::runtimeRoot) + "\\1.8.0_5").c_str(),
                                             0, nullptr, 0, KEY_ALL_ACCESS | installView(), nullptr, &odd, nullptr));
    RegSetValueExA(odd, "ZoltHome", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\2\3"), 3);
    RegCloseKey(odd);

    EXPECT_EQ(0u, e2e::runLauncher("/s"));
    std::vector<std::string> runs = engine.runs();
    // The runtime key of this version opens, so after the successful install the auto-update database follows.
    ASSERT_EQ(3u, runs.size()) << log();
    EXPECT_NE(std::string::npos, runs[0].find(" /x " + kitCode() + " /qn")) << runs[0];
    EXPECT_NE(std::string::npos, runs[1].find(" /i "));
    EXPECT_NE(std::string::npos, runs[2].find("\\au.msi\" ALLUSERS=1 /qn")) << runs[2];
    std::string text = log();
    for (const char* expected : {"Existing build: 0 is same/older than current build: 12", "Failed to parse [garbage]",
                                 "Failed to parse [not.a.version]", "query string value (ZoltHome) error: wrong type",
                                 "cannot find PLN: ", "GUID not found", "FindTBXHome: Failed to query ZoltHome value!!"})
        EXPECT_NE(std::string::npos, text.find(expected)) << expected;
}

// The demo kit installed, removed and installed again by the real engine.
class RealEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(registry.present()) << "the suite runs in a prefix of its own";
        DeleteFileA(e2e::launcherLogPath().c_str());
    }
    // Only a kit the test's runs installed is there to remove.
    void TearDown() override {
        e2e::uninstallIfRegistered(kitCode());
        registry.clean();
    }
    ProductRegistry registry;
    std::string log() const { return e2e::readFile(e2e::launcherLogPath()); }
    bool kitRegistered() const { return e2e::keyExists(installView(), kUninstallKey + kitCode()); }
};

TEST_F(RealEngineTest, SecondSilentRunRemovesTheSameVersionKitAndInstallsAgain) {
    ASSERT_EQ(0u, e2e::runLauncher("/s")) << log();
    ASSERT_TRUE(kitRegistered()) << "the demo kit registers under the code the launcher computes";
    ASSERT_TRUE(e2e::keyExists(installView(), kKitKey));

    DeleteFileA(e2e::launcherLogPath().c_str());
    EXPECT_EQ(0u, e2e::runLauncher("/s")) << log();
    std::string text = log();
    EXPECT_NE(std::string::npos, text.find("Existing build: 12 is same/older than current build: 12"));
    EXPECT_NE(std::string::npos, text.find(" /x " + kitCode() + " /qn"));
    EXPECT_EQ(std::string::npos, text.find("failed")) << text;
    EXPECT_TRUE(kitRegistered());

    // A newer build of this version stops the run and keeps the kit.
    writeKey(kKitKey, {{"BuildNumber", "13"}});
    DeleteFileA(e2e::launcherLogPath().c_str());
    EXPECT_EQ(e2e::exitCode(kExitFailed), e2e::runLauncher("/s"));
    EXPECT_NE(std::string::npos, log().find("Existing build: 13 is newer than current build: 12"));
    EXPECT_EQ(std::string::npos, log().find(" /x "));
    EXPECT_TRUE(kitRegistered());
}

TEST_F(RealEngineTest, StaticOrNewerSameVersionRuntimeIsLeftAlone) {
    // Were the runtime's code removed, the engine would refuse the unknown product and the run would stop.
    // The kit is installed without the public runtime feature, so that no real runtime install replaces or
    // rolls back the registration written here and the test needs nothing an earlier test installed.
    writeKey(kUninstallKey + runtimeCode(), {});
    struct Case {
        const char* name;
        const char* build;
        const char* mode;
    };
    const Case cases[] = {{"static", "12", "S"}, {"newer build", "13", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeKey(kRuntimeKey, {{"BuildNumber", c.build}, {"ZoltHome", "C:\\pln"}});
        writeKey(kRuntimeKey + "\\MSI", {{"MODE", c.mode}});
        DeleteFileA(e2e::launcherLogPath().c_str());
        EXPECT_EQ(0u, e2e::runLauncher("/s ADDLOCAL=ToolsFeature")) << log();
        EXPECT_EQ(std::string::npos, log().find(" /x " + runtimeCode()));
        EXPECT_TRUE(e2e::keyExists(installView(), kUninstallKey + runtimeCode()));
    }
}

}  // namespace

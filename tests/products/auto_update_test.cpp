// The auto-update step with Wine's real engine: fresh install, same version, upgrades across the policy layouts,
// the disabled form, engine failure and unreadable versions.
#include "products/auto_update.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "buildinfo/build_constants.h"
#include "platform/registry_key.h"
#include "platform/sysinfo.h"
#include "process/executor.h"
#include "process/msiexec_path.h"
#include "products/product_codes.h"
#include "recording_engine.h"
#include "test_support.h"
#include "updatepolicy/au_config.h"

namespace {

using testing_support::LogCapture;

const std::string kAutoUpdateKey = "SOFTWARE\\Zoltsys\\Auto Update";

std::string database(const char* name) { return testing_support::toolPath(name); }
std::string zauregLog() {
    return SysInfo::getProgramFilesCommonX86Dir() + "\\Zolt\\Zolt Update\\zaureg-calls.log";
}

DWORD engine(const std::string& arguments) {
    char path[MAX_PATH] = "";
    EXPECT_TRUE(GetMsiexecPath(path, sizeof path));
    return Executor::ExecProcessWithAtlMessageLoop(path, "\"" + std::string(path) + "\" " + arguments);
}

std::string installedAUVersion() {
    if (!RegistryKey::exists(RegistryKey::localMachine32, kAutoUpdateKey)) return "(none)";
    return RegistryKey(RegistryKey::localMachine32, kAutoUpdateKey).queryString("AUVersion", "(none)");
}

bool componentRegistered() {
    const std::string key = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kAutoUpdateProductCode;
    return RegistryKey::exists(RegistryKey::localMachine32, key) || RegistryKey::exists(RegistryKey::localMachine64, key);
}

// Every test starts with no component, no policy and no registration record (the suite's prefix is fresh) and
// removes what it made: the component it installed, the keys and the record.
class AutoUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(componentRegistered()) << "the suite runs in a prefix of its own";
        for (const testing_support::OwnedKey* key : {&component, &machinePolicy, &userPolicy})
            ASSERT_FALSE(key->wasPresent()) << "the suite runs in a prefix of its own";
    }
    void TearDown() override { clean(); }
    void clean() const {
        if (componentRegistered()) engine(std::string("/x ") + kAutoUpdateProductCode + " /qn");
        for (const testing_support::OwnedKey* key : {&component, &machinePolicy, &userPolicy}) key->remove();
        DeleteFileA(zauregLog().c_str());
    }
    static void install(const char* name) {
        ASSERT_EQ(0u, engine("/i \"" + database(name) + "\" ALLUSERS=1 /qn")) << name;
        DeleteFileA(zauregLog().c_str());
    }

    const testing_support::OwnedKey component{HKEY_LOCAL_MACHINE, kAutoUpdateKey, KEY_WOW64_32KEY};
    const testing_support::OwnedKey machinePolicy{HKEY_LOCAL_MACHINE, "SOFTWARE\\Zoltsys\\Zolt Update", KEY_WOW64_32KEY};
    const testing_support::OwnedKey userPolicy{HKEY_CURRENT_USER, "SOFTWARE\\Zoltsys\\Zolt Update", KEY_WOW64_32KEY};
};

TEST_F(AutoUpdateTest, FreshMachineInstallsAndRegistersWithoutTouchingThePolicy) {
    LogCapture log;
    EXPECT_EQ(0, InstallAutoUpdate(database("au_own.msi").c_str(), true));
    EXPECT_EQ(buildconstants::autoUpdateVersion, installedAUVersion());
    EXPECT_EQ(std::string("-r pln ") + buildconstants::fullVersion + "\r\n", testing_support::readFile(zauregLog()));
    EXPECT_TRUE(log.contains("Auto Update is enabled"));
    EXPECT_FALSE(RegistryKey::exists(RegistryKey::localMachine32, "SOFTWARE\\Zoltsys\\Zolt Update"));
}

TEST_F(AutoUpdateTest, SameOrNewerComponentEndsTheStepAndRunsNothing) {
    for (const char* installed : {"au_own.msi", "au_new.msi"}) {
        SCOPED_TRACE(installed);
        clean();
        install(installed);
        const std::string before = installedAUVersion();
        LogCapture log;
        EXPECT_EQ(-2, InstallAutoUpdate(database("au_own.msi").c_str(), true));
        EXPECT_EQ(std::vector<std::string>({"INFO: AU is not upgradable - Installed version >= the bundled version."}),
                  log.messages());
        EXPECT_EQ(before, installedAUVersion());
        EXPECT_FALSE(testing_support::fileExists(zauregLog()));
    }
}

struct UpgradeCase {
    const char* name;
    const char* installed;
    int readMode;  // the layout the installed component keeps its policy in
};

// An older component is removed and replaced; its schedule and notify type come back in the current layout.
TEST_F(AutoUpdateTest, UpgradeCarriesThePolicyIntoTheCurrentLayout) {
    const UpgradeCase cases[] = {
        {"below the baseline: old layout", "au_old.msi", au::RegDataStore::oldLayout},
        {"at or above the baseline: current layout", "au_mid.msi", au::RegDataStore::currentLayout},
    };
    for (const UpgradeCase& c : cases) {
        SCOPED_TRACE(c.name);
        clean();
        install(c.installed);
        const au::Schedule saved{0x0204, 22, 41};
        {
            au::Config config(c.readMode);
            config.setSchedule(saved);
            config.setNotifyType(au::Config::notifyBeforeInstall);
        }
        LogCapture log;
        EXPECT_EQ(0, InstallAutoUpdate(database("au_own.msi").c_str(), true));
        EXPECT_EQ(buildconstants::autoUpdateVersion, installedAUVersion());

        au::Config current(au::RegDataStore::currentLayout);
        bool ok = false;
        EXPECT_EQ(saved, current.getSchedule(&ok));
        EXPECT_TRUE(ok);
        EXPECT_EQ(au::Config::notifyBeforeInstall, current.getNotifyType());
        DWORD type = REG_NONE;
        RegistryKey(RegistryKey::localMachine32, au::policykeys::check).queryValue("UpdateMin", type);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
        EXPECT_FALSE(log.contains("getSchedule failed"));
        EXPECT_FALSE(log.contains("getNotifyType failed"));
        EXPECT_EQ(std::string("-r pln ") + buildconstants::fullVersion + "\r\n",
                  testing_support::readFile(zauregLog()));
    }
}

// The component is installed switched off; the property stands apart from the quoted database path.
TEST_F(AutoUpdateTest, DisabledComponentIsStillInstalledWithDisableSet) {
    const std::string msi = database("au_own.msi");
    LogCapture log;
    int recorded = 0;
    std::string expected, runs;
    {
        testing_support::RecordingEngine recorder;
        recorded = InstallAutoUpdate(msi.c_str(), false);
        expected = "\"" + recorder.msiexec() + "\" /i \"" + msi + "\" DISABLE=1 ALLUSERS=1 /qn REBOOT=ReallySuppress";
        runs = testing_support::readFile(recorder.recordPath());
    }

    EXPECT_EQ(-3, recorded);  // nothing was installed, so there is no registration tool
    EXPECT_NE(std::string::npos, runs.find(expected)) << runs;
    EXPECT_TRUE(log.contains("Auto Update is disabled via configuration settings"));

    // With the real engine the component lands, and the policy says it is off.
    EXPECT_EQ(0, InstallAutoUpdate(msi.c_str(), false));
    EXPECT_EQ(buildconstants::autoUpdateVersion, installedAUVersion());
    EXPECT_EQ(0u, RegistryKey(RegistryKey::localMachine32, au::policykeys::policy).queryDword("EnableZoltUpdate"));
}

// An engine that installs and wants a restart (3010) has installed: the policy is carried and the component
// registered, and nothing asks the engine to restart the machine.
TEST_F(AutoUpdateTest, RestartPendingAfterTheInstallStillCarriesThePolicyAndRegisters) {
    install("au_old.msi");
    const au::Schedule saved{0x0402, 7, 15};
    {
        au::Config old(au::RegDataStore::oldLayout);
        old.setSchedule(saved);
        old.setNotifyType(au::Config::notifyBeforeInstall);
    }
    LogCapture log;
    int result = 0;
    std::string runs;
    {
        testing_support::RecordingEngine recorder;
        recorder.setExit("3010");
        result = InstallAutoUpdate(database("au_own.msi").c_str(), true);
        runs = testing_support::readFile(recorder.recordPath());
    }

    EXPECT_EQ(0, result);
    EXPECT_FALSE(log.contains("Auto Update install failed"));
    EXPECT_EQ(std::string("-r pln ") + buildconstants::fullVersion + "\r\n", testing_support::readFile(zauregLog()));
    au::Config current(au::RegDataStore::currentLayout);
    EXPECT_EQ(saved, current.getSchedule());
    EXPECT_EQ(au::Config::notifyBeforeInstall, current.getNotifyType());
    // The removal of the older component and the install, both kept from restarting the machine.
    EXPECT_NE(std::string::npos, runs.find(std::string(" /x ") + kAutoUpdateProductCode + " /qn REBOOT=ReallySuppress"))
        << runs;
    EXPECT_NE(std::string::npos, runs.find("\" ALLUSERS=1 /qn REBOOT=ReallySuppress")) << runs;
}

TEST_F(AutoUpdateTest, EngineFailureIsReturnedAndNothingIsRegistered) {
    LogCapture log;
    const int result = InstallAutoUpdate((testing_support::exeDir() + "\\no-such-au.msi").c_str(), true);
    EXPECT_NE(0, result);
    EXPECT_NE(-2, result);
    EXPECT_TRUE(log.contains("Auto Update install failed"));
    EXPECT_FALSE(testing_support::fileExists(zauregLog()));
}

// The command buffer holds 259 characters: a longer command is refused, never cut and run, and the installed
// older component stays.
TEST_F(AutoUpdateTest, CommandBeyondItsBufferIsRefusedUnrun) {
    install("au_mid.msi");
    const std::string longPath = testing_support::exeDir() + "\\" + std::string(240, 'a') + ".msi";
    LogCapture log;
    EXPECT_EQ(kAutoUpdateCommandTooLong, InstallAutoUpdate(longPath.c_str(), true));
    EXPECT_TRUE(log.contains("The auto-update install command does not fit its buffer; not run."));
    EXPECT_FALSE(log.contains("Auto Update install failed"));
    EXPECT_EQ("2.5.0.0", installedAUVersion());
    EXPECT_FALSE(testing_support::fileExists(zauregLog()));
}

TEST_F(AutoUpdateTest, BaselineComparison) {
    struct Case {
        const char* installed;  // nullptr: no value
        bool older;
    } cases[] = {{nullptr, false}, {"2.0.5.1", true}, {buildconstants::autoUpdateBaselineVersion, false},
                 {"2.5.0.0", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed ? c.installed : "(none)");
        clean();
        if (c.installed)
            RegistryKey(RegistryKey::localMachine32, kAutoUpdateKey, RegistryKey::write).setString("AUVersion", c.installed);
        LogCapture log;
        EXPECT_EQ(c.older, IsAUOlderThanBaseline());
        EXPECT_EQ(c.installed == nullptr,
                  log.contains("Failed to determine AU version. Most probably there is no AU installed"));
        if (!c.installed) {
            EXPECT_NE(std::string::npos, log.raw().find("(IsAUOlderThanBaseline)"));
        }
    }
}

// A version that is not four dotted numbers is left to the caller.
TEST_F(AutoUpdateTest, UnreadableInstalledVersionThrows) {
    RegistryKey(RegistryKey::localMachine32, kAutoUpdateKey, RegistryKey::write).setString("AUVersion", "2.8");
    EXPECT_THROW(IsAUOlderThanBaseline(), std::runtime_error);
    EXPECT_THROW(InstallAutoUpdate(database("au_own.msi").c_str(), true), std::runtime_error);
    EXPECT_FALSE(testing_support::fileExists(zauregLog()));
}

}  // namespace

// The uninstall's plan in memory: for one machine and one set of options, the whole list of removals with their
// command lines, the refusal and the expected exit code; and the exit code the engines' results make.
#include "launcher/uninstall_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "buildinfo/build_constants.h"
#include "launcher/package_cache_layout.h"
#include "process/exit_codes.h"

namespace {

const std::string kVersion = buildconstants::productVersion;
const std::string kEngine = "C:\\windows\\system32\\msiexec.exe";
const std::string kKit = "{KIT}";
const std::string kRuntime = "{RUNTIME}";
const std::string kAutoUpdate = "{6E15A28C-3B7D-4C91-8A6E-2D49F0B7C35A}";
const std::string kCache = packageCacheLayout::productFolderPath("C:\\ProgramData", true);
const std::string kLocalLow = "C:\\users\\u\\AppData\\LocalLow";
const std::string kKitPayload = kLocalLow + "\\Lumo\\Zolt\\tbx" + kVersion + "_x64";
const std::string kAutoUpdatePayload = kLocalLow + "\\Vantrel\\Zolt\\AU";
const std::string kOtherLocalLow = "C:\\users\\other\\AppData\\LocalLow";
const std::string kSettings = "C:\\ProgramData\\Vantrel\\Zolt\\zolt.settings.cfg";
const std::string kPolicy = "SOFTWARE\\Zoltsys\\Zolt Update\\Policy";

// Everything an earlier silent install leaves: the three products, the cache, the settings and the policy, and
// the payload folders a launcher before the cache wrote.
UninstallFacts installedMachine() {
    UninstallFacts facts;
    facts.msiexecPath = kEngine;
    facts.kitKeyPresent = true;
    facts.kitCode = kKit;
    facts.kitCodeRegistered = true;
    facts.runtimeCode = kRuntime;
    facts.runtimeCodeRegistered = true;
    facts.autoUpdateRegistered = true;
    facts.programDataFolder = "C:\\ProgramData";
    facts.packageCachePresent = true;
    facts.perUser = {{kLocalLow, true, true}};
    facts.settingsFilePresent = true;
    facts.updatePolicyPresent = true;
    return facts;
}

UninstallFacts cleanMachine() {
    UninstallFacts facts;
    facts.msiexecPath = kEngine;
    facts.kitCode = kKit;
    facts.runtimeCode = kRuntime;
    facts.programDataFolder = "C:\\ProgramData";
    return facts;
}

RunOptions options(bool silent, bool reallySuppress, bool removeSettings = false) {
    RunOptions o;
    o.uninstall = true;
    o.silent = silent;
    o.reallySuppress = reallySuppress;
    o.removeSettings = removeSettings;
    o.installerWaitSeconds = 600;
    return o;
}

std::vector<std::string> listed(const UninstallPlan& plan) {
    std::vector<std::string> lines;
    for (const UninstallAction& action : plan.actions) {
        switch (action.kind) {
            case UninstallActionKind::Product: lines.push_back("engine: " + action.command); break;
            case UninstallActionKind::Folder: lines.push_back("folder: " + action.path); break;
            case UninstallActionKind::SettingsFile: lines.push_back("file: " + action.path); break;
            case UninstallActionKind::RegistryKey: lines.push_back("key: " + action.path); break;
        }
    }
    return lines;
}

std::string removal(const std::string& code, const std::string& switches) {
    return "engine: \"" + kEngine + "\" /x " + code + switches;
}

TEST(UninstallPlan, ListsEveryRemovalInOrderWithItsCommand) {
    struct Case {
        const char* name;
        UninstallFacts facts;
        RunOptions options;
        std::vector<std::string> expected;
        bool nothingInstalled;
    };
    UninstallFacts otherKit = installedMachine();
    otherKit.otherKitVersions = {"1.8.0_02"};
    UninstallFacts leftovers = cleanMachine();
    leftovers.packageCachePresent = true;
    // Another account ran an earlier launcher too; one account kept only the component's database.
    leftovers.perUser = {{kLocalLow, true, false}, {kOtherLocalLow, true, true}};
    UninstallFacts newerBuild = installedMachine();  // any build of this version goes: same key, same code
    newerBuild.runtimeCodeRegistered = false;
    newerBuild.autoUpdateRegistered = false;
    const Case cases[] = {
        {"silent, restart suppressed", installedMachine(), options(true, true),
         {removal(kKit, " /qn REBOOT=ReallySuppress"), removal(kRuntime, " /qn REBOOT=ReallySuppress"),
          removal(kAutoUpdate, " /qn REBOOT=ReallySuppress"), "folder: " + kCache, "folder: " + kKitPayload,
          "folder: " + kAutoUpdatePayload},
         false},
        {"a person: the kit's own screens, which may restart Windows", installedMachine(), options(false, false),
         {removal(kKit, ""), removal(kRuntime, " /qb! REBOOT=ReallySuppress"),
          removal(kAutoUpdate, " /qb! REBOOT=ReallySuppress"), "folder: " + kCache, "folder: " + kKitPayload,
          "folder: " + kAutoUpdatePayload},
         false},
        {"settings and policy too", installedMachine(), options(true, false, true),
         {removal(kKit, " /qn"), removal(kRuntime, " /qn REBOOT=ReallySuppress"),
          removal(kAutoUpdate, " /qn REBOOT=ReallySuppress"), "folder: " + kCache, "folder: " + kKitPayload,
          "folder: " + kAutoUpdatePayload, "file: " + kSettings, "key: " + kPolicy},
         false},
        {"another kit version keeps the auto-update component, its database and its policy", otherKit,
         options(true, true, true),
         {removal(kKit, " /qn REBOOT=ReallySuppress"), removal(kRuntime, " /qn REBOOT=ReallySuppress"),
          "folder: " + kCache, "folder: " + kKitPayload, "file: " + kSettings},
         false},
        {"the kit alone", newerBuild, options(true, true),
         {removal(kKit, " /qn REBOOT=ReallySuppress"), "folder: " + kCache, "folder: " + kKitPayload,
          "folder: " + kAutoUpdatePayload},
         false},
        {"nothing installed, what earlier runs left in two accounts", leftovers, options(true, true),
         {"folder: " + kCache, "folder: " + kKitPayload,
          "folder: " + kOtherLocalLow + "\\Lumo\\Zolt\\tbx" + kVersion + "_x64",
          "folder: " + kOtherLocalLow + "\\Vantrel\\Zolt\\AU"},
         true},
        {"nothing at all", cleanMachine(), options(true, true, true), {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UninstallPlan plan = planUninstall(c.options, c.facts);
        EXPECT_FALSE(plan.refusal);
        EXPECT_EQ(c.expected, listed(plan));
        EXPECT_EQ(c.nothingInstalled, plan.nothingInstalled);
        EXPECT_EQ(kExitSuccess, plan.expectedExitCode) << plan.expectation;
    }
}

// Every refusal is known before the first removal; a guard held or a busy installer is what the run meets first.
TEST(UninstallPlan, RefusesBeforeTheFirstRemoval) {
    struct Case {
        const char* name;
        UninstallFacts facts;
        bool refused;
        int expectedExitCode;
        const char* expectation;
        int installerWait = 600;
    };
    UninstallFacts unknownKit = installedMachine();
    unknownKit.kitCodeRegistered = false;
    UninstallFacts noEngine = installedMachine();
    noEngine.msiexecPath.clear();
    UninstallFacts noEngineNothingToRun = cleanMachine();
    noEngineNothingToRun.msiexecPath.clear();
    noEngineNothingToRun.packageCachePresent = true;
    UninstallFacts guard = installedMachine();
    guard.guardHeld = true;
    UninstallFacts busy = installedMachine();
    busy.installerBusy = true;
    UninstallFacts busyNothingToRun = cleanMachine();
    busyNothingToRun.installerBusy = true;
    const Case cases[] = {
        {"a kit the Windows Installer does not know", unknownKit, true, kExitFailed, "does not know its product code"},
        {"no engine", noEngine, true, kExitEngineNotFound, "msiexec.exe cannot be found"},
        {"no engine, and none needed", noEngineNothingToRun, false, kExitSuccess, "nothing of the kit"},
        {"another installation of the kit", guard, false, kExitFailed, "another Zolt installation"},
        {"the Windows Installer busy: the run waits for it", busy, false, kExitSuccess, "waits up to 600 seconds"},
        {"the Windows Installer busy, INSTALLER_WAIT=0", busy, false, kExitInstallerBusy, "gives up at once", 0},
        {"the Windows Installer busy, and not needed", busyNothingToRun, false, kExitSuccess, "nothing of the kit",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunOptions o = options(true, true);
        o.installerWaitSeconds = c.installerWait;
        const UninstallPlan plan = planUninstall(o, c.facts);
        EXPECT_EQ(c.refused, plan.refusal.has_value());
        EXPECT_EQ(c.expectedExitCode, plan.expectedExitCode);
        EXPECT_NE(std::string::npos, plan.expectation.find(c.expectation)) << plan.expectation;
        // /check names the refusal instead of removals.
        const std::string text = uninstallPlanText(plan, o, c.facts);
        EXPECT_EQ(c.refused, text.find("would stop before it changes anything") != std::string::npos) << text;
    }
}

TEST(UninstallPlan, TheExitCodeFromTheEnginesResults) {
    struct Case {
        const char* name;
        std::vector<int> engines;
        int expected;
    } cases[] = {
        {"nothing ran", {}, kExitSuccess},
        {"all removed", {0, kExitEngineSucceeded, 0}, kExitSuccess},
        {"one wants a restart", {0, kExitEngineRebootRequired, 0}, kExitEngineRebootRequired},
        {"Windows restarting", {kExitEngineRebootRequired, kExitEngineRebootStarted}, kExitEngineRebootStarted},
        {"a failure after a restart request", {kExitEngineRebootRequired, 1603}, 1603},
        {"the first failure", {1605, 1603}, 1605},
        {"busy", {kExitInstallerBusy}, kExitInstallerBusy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, uninstallExitCode(c.engines));
    }
}

TEST(UninstallPlan, WhatStaysNamesEveryRemovalNotDone) {
    const UninstallPlan plan = planUninstall(options(true, true), installedMachine());
    EXPECT_EQ("the auto-update component (" + kAutoUpdate + "); the kit's package cache (" + kCache +
                  "); the kit's payload left by an earlier launcher (" + kKitPayload +
                  "); the auto-update database left by an earlier launcher (" + kAutoUpdatePayload + ")",
              uninstallLeftovers(plan, 2));
    EXPECT_EQ("nothing", uninstallLeftovers(plan, plan.actions.size()));
}

TEST(UninstallPlan, CheckPrintsEachCommandAndWhatStays) {
    UninstallFacts facts = installedMachine();
    facts.otherKitVersions = {"1.8.0_02"};
    const UninstallPlan plan = planUninstall(options(true, true), facts);
    const std::string text = uninstallPlanText(plan, options(true, true), facts);
    for (const UninstallAction& action : plan.actions)
        EXPECT_NE(std::string::npos, text.find(action.what + ": " +
                                               (action.kind == UninstallActionKind::Product ? action.command
                                                                                            : action.path)))
            << text;
    EXPECT_NE(std::string::npos, text.find("the auto-update component stays: other kit versions are installed: "
                                           "1.8.0_02"))
        << text;
    EXPECT_NE(std::string::npos, text.find("/removesettings removes them")) << text;
    EXPECT_NE(std::string::npos, text.find("Expected exit code: 0")) << text;
}

}  // namespace

// The run's decisions after the kit's engine run, as a table: which steps follow, when the settings are put back,
// and the exit code.
#include "launcher/run_plan.h"

#include <gtest/gtest.h>

#include <string>

#include "buildinfo/build_constants.h"
#include "process/exit_codes.h"
#include "products/kit_product_code.h"

namespace {

TEST(RunPlan, WhatFollowsTheKitsEngineRun) {
    struct Case {
        const char* name;
        int engine;
        bool silent;
        bool publicRuntimeSelected;
        // expected
        bool endsNow;
        int exitCode;
        bool restore;
        bool publicRuntime;
        bool autoUpdate;
    } cases[] = {
        {"installed, silent", 0, true, true, false, 0, false, true, true},
        {"the engine's own success word", kExitEngineSucceeded, true, true, false, kExitEngineSucceeded, false, true,
         true},
        {"installed, a person at the screen: no public runtime", 0, false, true, false, 0, false, false, true},
        {"installed without the runtime's feature", 0, true, false, false, 0, false, false, true},
        {"installed, restart required", kExitEngineRebootRequired, true, true, false, kExitEngineRebootRequired,
         false, true, true},
        {"failed: settings back, public runtime still, no auto-update", 1603, true, true, false, 1603, true, true,
         false},
        {"restarting: nothing more, settings kept", kExitEngineRebootStarted, true, true, true,
         kExitEngineRebootStarted, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KitRunOutcome outcome;
        outcome.engineExitCode = c.engine;
        outcome.silent = c.silent;
        outcome.publicRuntimeSelected = c.publicRuntimeSelected;
        const AfterKitPlan plan = planAfterKitRun(outcome);
        EXPECT_EQ(c.endsNow, plan.endsNow);
        EXPECT_EQ(c.exitCode, plan.exitCode);
        EXPECT_EQ(c.restore, plan.restoreSettings);
        EXPECT_EQ(c.publicRuntime, plan.runPublicRuntime);
        EXPECT_EQ(c.autoUpdate, plan.tryAutoUpdate);
    }
}

TEST(RunPlan, TheFinalExitCode) {
    struct Case {
        const char* name;
        int soFar;
        bool removalWantsRestart;
        int expected;
    } cases[] = {
        {"installed", 0, false, 0},
        {"installed after a removal that wants a restart", 0, true, kExitEngineRebootRequired},
        {"1707 after a removal that wants a restart", kExitEngineSucceeded, true, kExitEngineRebootRequired},
        {"a restart pending anyway", kExitEngineRebootRequired, true, kExitEngineRebootRequired},
        {"a failure stays a failure", 1603, true, 1603},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, finalExitCode(c.soFar, c.removalWantsRestart));
    }
}

TEST(RunPlan, TheSecondEnginePass) {
    struct Case {
        const char* name;
        int engine;
        const char* status;
        bool expected;
    } cases[] = {
        {"asked for", 0, "reinstall", true},
        {"asked for after a failure", 1603, "reinstall", true},
        {"another status", 0, "Reinstall", false},
        {"no status", 0, "", false},
        {"Windows is restarting", kExitEngineRebootStarted, "reinstall", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, needsReinstallPass(c.engine, c.status));
    }
}

TEST(RunPlan, ThePublicRuntimesFeature) {
    struct Case {
        const char* arguments;
        bool expected;
    } cases[] = {
        {" /qn ADDLOCAL=PublicplnFeature,ToolsFeature", true},
        {" /qn ADDLOCAL=ALL", true},
        {" /qn", true},
        {" /qn ADDLOCAL=ToolsFeature", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(c.expected, selectsPublicRuntime(c.arguments));
    }
}

// The run's plan before anything changes: the facts of a machine and the options in, every removal, command and
// expected exit code out. One line a machine; the defaults are a silent run on a clean machine.
struct PlanCase {
    const char* name;
    MachineFacts facts;
    RunOptions options;
    int expectedExit;
    std::vector<std::string> removedCodes;
    const char* commandHas;     // a piece the kit's command line holds, or null
    const char* commandLacks;   // a piece it must not hold, or null
};

MachineFacts cleanMachine() {
    MachineFacts facts;
    facts.userDataFolder = "C:\\users\\admin\\AppData\\LocalLow";
    facts.programDataFolder = "C:\\ProgramData";
    facts.runFolderName = "0123456789abcdef";
    facts.payloadBytes = 5000000;
    facts.freeBytes = 80000000000ULL;
    facts.msiexecPath = "C:\\windows\\system32\\msiexec.exe";
    facts.installed.kitCode = "{KIT}";
    facts.installed.runtimeCode = "{RUNTIME}";
    return facts;
}

RunOptions silentRun() {
    RunOptions options;
    options.silent = true;
    options.installerWaitSeconds = 600;
    return options;
}

TEST(RunPlan, WhatTheRunWillDoBeforeItChangesAnything) {
    MachineFacts kitOfThisBuild = cleanMachine();
    kitOfThisBuild.installed.kitInstalled = kitOfThisBuild.installed.kitSameOrOlderBuild = true;
    kitOfThisBuild.installed.kitCodeRegistered = true;
    MachineFacts kitAndRuntime = kitOfThisBuild;
    kitAndRuntime.installed.runtimeInstalled = kitAndRuntime.installed.runtimeSameOrOlderBuild = true;
    kitAndRuntime.installed.runtimeCodeRegistered = true;
    MachineFacts staticRuntime = kitAndRuntime;
    staticRuntime.installed.runtimeStatic = true;
    MachineFacts newerBuild = kitOfThisBuild;
    newerBuild.installed.kitSameOrOlderBuild = false;
    MachineFacts unknownKit = kitOfThisBuild;
    unknownKit.installed.kitCodeRegistered = false;
    MachineFacts noKit = kitOfThisBuild;
    noKit.kitDatabaseCarried = false;
    MachineFacts noEngine = kitOfThisBuild;
    noEngine.msiexecPath.clear();
    MachineFacts guardHeld = cleanMachine();
    guardHeld.guardHeld = true;
    MachineFacts busy = cleanMachine();
    busy.installerBusy = true;
    MachineFacts eventTaken = kitOfThisBuild;
    eventTaken.cabinetEventTaken = true;
    MachineFacts deepCache = kitOfThisBuild;
    deepCache.programDataFolder = "C:\\" + std::string(180, 'p');
    MachineFacts fullDrive = kitOfThisBuild;
    fullDrive.freeBytes = fullDrive.payloadBytes - 1;
    MachineFacts justEnough = cleanMachine();
    justEnough.freeBytes = justEnough.payloadBytes;
    MachineFacts noProgramData = kitOfThisBuild;
    noProgramData.programDataFolder.clear();
    MachineFacts japanese = cleanMachine();
    japanese.langId = 1041;

    RunOptions noWait = silentRun();
    noWait.installerWaitSeconds = 0;
    RunOptions interactive = silentRun();
    interactive.silent = false;
    RunOptions longDir = silentRun();
    longDir.installDir = std::string(2000, 'd');
    RunOptions toolsOnly = silentRun();
    toolsOnly.installerArguments = "ADDLOCAL=ToolsFeature ";
    toolsOnly.featuresChosen = true;

    const PlanCase cases[] = {
        {"a clean machine: install with the silent defaults", cleanMachine(), silentRun(), kExitSuccess, {},
         " /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1", "TRANSFORMS"},
        {"a person at the screen: no quiet switch", cleanMachine(), interactive, kExitSuccess, {}, "WRAPPER=1",
         "/qn"},
        {"the kit of this build is removed first", kitOfThisBuild, silentRun(), kExitSuccess, {"{KIT}"}, nullptr,
         nullptr},
        {"kit, then the runtime of this version", kitAndRuntime, silentRun(), kExitSuccess, {"{KIT}", "{RUNTIME}"},
         nullptr, nullptr},
        {"a side-by-side runtime stays", staticRuntime, silentRun(), kExitSuccess, {"{KIT}"}, nullptr, nullptr},
        {"a newer build stays and nothing is installed", newerBuild, silentRun(), kExitFailed, {}, nullptr, nullptr},
        {"a kit the engine does not know cannot be removed", unknownKit, silentRun(), kExitFailed, {}, nullptr,
         nullptr},
        {"no kit database: nothing removed", noKit, silentRun(), kExitNoKitDatabase, {}, nullptr, nullptr},
        {"no engine: nothing removed", noEngine, silentRun(), kExitEngineNotFound, {}, nullptr, nullptr},
        {"a command that does not fit: nothing removed", kitOfThisBuild, longDir, kExitCommandTooLong, {}, nullptr,
         nullptr},
        {"a payload path that does not fit: nothing removed", deepCache, silentRun(), kExitPathTooLong, {}, nullptr,
         nullptr},
        {"too little space for the payload: nothing removed", fullDrive, silentRun(), kExitDiskFull, {}, nullptr,
         nullptr},
        {"exactly the space the payload needs", justEnough, silentRun(), kExitSuccess, {}, nullptr, nullptr},
        {"no common application data folder: nothing removed", noProgramData, silentRun(), kExitFunctionFailed, {},
         nullptr, nullptr},
        {"another installation of the kit runs", guardHeld, silentRun(), kExitFailed, {}, nullptr, nullptr},
        {"the Windows Installer is busy now: the run waits for it", busy, silentRun(), kExitSuccess, {}, nullptr,
         nullptr},
        {"the Windows Installer is busy now and the run may not wait", busy, noWait, kExitInstallerBusy, {}, nullptr,
         nullptr},
        {"someone else made the cabinet event", eventTaken, silentRun(), kExitFailed, {}, nullptr, nullptr},
        {"the chosen features replace the default list", cleanMachine(), toolsOnly, kExitSuccess, {},
         "ADDLOCAL=ToolsFeature  /qn WRAPPER=1", "PublicplnFeature"},
        {"another language: its transform", japanese, silentRun(), kExitSuccess, {}, ".msi\" TRANSFORMS=:1041 ",
         nullptr},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RunPlan plan = planRun(c.options, c.facts);
        EXPECT_EQ(c.expectedExit, plan.expectedExitCode) << plan.expectation;
        std::vector<std::string> removed;
        for (const ProductRemoval& removal : plan.removals) removed.push_back(removal.code);
        EXPECT_EQ(c.removedCodes, removed);
        ASSERT_EQ(plan.removals.size(), plan.removalCommands.size());
        for (const std::string& command : plan.removalCommands)
            EXPECT_NE(std::string::npos, command.find(c.options.silent ? " /qn REBOOT=ReallySuppress"
                                                                       : " /qb! REBOOT=ReallySuppress"));
        EXPECT_EQ(!c.removedCodes.empty(), plan.retryBusyAfterRemoval);
        if (plan.refusal) {
            EXPECT_TRUE(plan.removals.empty()) << "a refused run removes nothing";
        }
        if (c.commandHas) {
            EXPECT_NE(std::string::npos, plan.kitCommand.find(c.commandHas)) << plan.kitCommand;
        }
        if (c.commandLacks) {
            EXPECT_EQ(std::string::npos, plan.kitCommand.find(c.commandLacks)) << plan.kitCommand;
        }
    }
}

// Every payload file goes below the common application data folder, also when the per-user folder lies elsewhere:
// only administrators can change what the engine reads there.
TEST(RunPlan, TheKitsPathsAndWhatFollowsTheKit) {
    RunOptions options = silentRun();
    options.installDir = "D:\\Kit";
    options.noStartMenu = true;
    MachineFacts facts = cleanMachine();
    facts.userDataFolder = "D:\\redirected\\admin";
    const RunPlan plan = planRun(options, facts);
    const std::string folder = std::string("C:\\ProgramData\\Zoltsys\\Package Cache\\") +
                               kitProductCode(buildconstants::productVersion, false) + "\\" +
                               std::to_string(buildconstants::buildNumber) + "\\0123456789abcdef";
    EXPECT_EQ(folder, plan.payloadFolder);
    EXPECT_EQ(5000000u, plan.payloadBytes);
    EXPECT_EQ(folder + "\\" + buildconstants::kitProductWord + buildconstants::productVersion + ".msi",
              plan.kitDatabase);
    EXPECT_EQ(folder + "\\au.msi", plan.autoUpdateDatabase);
    EXPECT_EQ("\"C:\\windows\\system32\\msiexec.exe\" /i \"" + plan.kitDatabase +
                  "\"  /qn ADDLOCAL=PublicplnFeature,ToolsFeature WRAPPER=1 INSTALLDIR=\"D:\\Kit\"  NOSTARTMENU=1",
              plan.kitCommand);
    EXPECT_TRUE(plan.publicRuntimeAfterKit);
    options.silent = false;
    EXPECT_FALSE(planRun(options, cleanMachine()).publicRuntimeAfterKit) << "only silent runs start it";
}

}  // namespace

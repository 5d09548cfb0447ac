// The run's decisions after the kit's engine run, as a table: which steps follow, when the settings are put back,
// and the exit code.
#include "launcher/run_plan.h"

#include <gtest/gtest.h>

#include "process/exit_codes.h"

namespace {

TEST(RunPlan, WhatFollowsTheKitsEngineRun) {
    struct Case {
        const char* name;
        int engine;
        bool cabinetsWritten;
        bool cabinetsTampered;
        DWORD cabinetError;
        bool silent;
        bool publicRuntimeSelected;
        // expected
        bool endsNow;
        int exitCode;
        bool restore;
        bool publicRuntime;
        bool autoUpdate;
    } cases[] = {
        {"installed, silent", 0, true, false, 0, true, true, false, 0, false, true, true},
        {"installed, a person at the screen: no public runtime", 0, true, false, 0, false, true, false, 0, false, false,
         true},
        {"installed without the runtime's feature", 0, true, false, 0, true, false, false, 0, false, false, true},
        {"installed, restart required", kExitEngineRebootRequired, true, false, 0, true, true, false,
         kExitEngineRebootRequired, false, true, true},
        {"failed: settings back, public runtime still, no auto-update", 1603, true, false, 0, true, true, false, 1603,
         true, true, false},
        {"restarting: nothing more, settings kept", kExitEngineRebootStarted, true, false, 0, true, true, true,
         kExitEngineRebootStarted, false, false, false},
        {"a cabinet write failed: its error", 1603, false, false, ERROR_DISK_FULL, true, true, true,
         static_cast<int>(ERROR_DISK_FULL), true, false, false},
        {"a cabinet write failed without a code", 1603, false, false, 0, true, true, true, kExitFunctionFailed, true,
         false, false},
        {"a cabinet was changed: tampering, not access denied", 1603, false, true, 0, true, true, true, kExitTampered,
         true, false, false},
        {"a cabinet failed although the engine succeeded: settings kept", 0, false, false, ERROR_DISK_FULL, true, true,
         true, static_cast<int>(ERROR_DISK_FULL), false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KitRunOutcome outcome;
        outcome.engineExitCode = c.engine;
        outcome.cabinetsWritten = c.cabinetsWritten;
        outcome.cabinetsTampered = c.cabinetsTampered;
        outcome.cabinetError = c.cabinetError;
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
        bool autoUpdateTampered;
        int expected;
    } cases[] = {
        {"installed", 0, false, false, 0},
        {"installed after a removal that wants a restart", 0, true, false, kExitEngineRebootRequired},
        {"a restart pending anyway", kExitEngineRebootRequired, true, false, kExitEngineRebootRequired},
        {"a failure stays a failure", 1603, true, false, 1603},
        {"the auto-update payload was changed", 0, true, true, kExitTampered},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, finalExitCode(c.soFar, c.removalWantsRestart, c.autoUpdateTampered));
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

}  // namespace

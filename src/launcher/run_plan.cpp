// The decisions after the kit's engine run; nothing here touches the machine.
#include "launcher/run_plan.h"

#include <cstring>

#include "launcher/install_command.h"
#include "launcher/per_user_layout.h"
#include "launcher/user_data_folder.h"
#include "platform/bounded_format.h"
#include "process/engine_result.h"
#include "process/exit_codes.h"

bool needsReinstallPass(int engineExitCode, const char* installStatus) {
    // Windows is already restarting: nothing may run after it.
    if (engineExitCode == kExitEngineRebootStarted) return false;
    return std::strcmp(installStatus, "reinstall") == 0;
}

AfterKitPlan planAfterKitRun(const KitRunOutcome& outcome) {
    AfterKitPlan plan;
    const bool installed = engineSucceeded(outcome.engineExitCode);
    plan.exitCode = outcome.engineExitCode;
    if (!outcome.cabinetsWritten) {
        plan.restoreSettings = !installed;
        // The engine found a cabinet missing and failed; the write's own failure tells the admin why.
        plan.endsNow = true;
        if (outcome.cabinetsTampered)
            plan.exitCode = kExitTampered;
        else
            plan.exitCode = outcome.cabinetError != ERROR_SUCCESS ? static_cast<int>(outcome.cabinetError)
                                                                  : kExitFunctionFailed;
        return plan;
    }
    if (outcome.engineExitCode == kExitEngineRebootStarted) {
        // Installed, and Windows is restarting: nothing more may run.
        plan.endsNow = true;
        return plan;
    }
    plan.restoreSettings = !installed;
    plan.runPublicRuntime = outcome.silent && outcome.publicRuntimeSelected;
    plan.tryAutoUpdate = installed;
    return plan;
}

int finalExitCode(int exitCodeSoFar, bool removalWantsRestart, bool autoUpdateTampered) {
    if (autoUpdateTampered) return kExitTampered;
    const bool plainSuccess = exitCodeSoFar == kExitSuccess || exitCodeSoFar == kExitEngineSucceeded;
    if (plainSuccess && removalWantsRestart) return kExitEngineRebootRequired;
    return exitCodeSoFar;
}

bool selectsPublicRuntime(const char* installerArguments) {
    return std::strstr(installerArguments, "PublicplnFeature") || std::strstr(installerArguments, "ADDLOCAL=ALL") ||
           !std::strstr(installerArguments, "ADDLOCAL");
}

namespace {

// The kit's engine command line, or nullopt (logged) when it does not fit its buffer.
std::optional<std::string> composeKitCommand(const RunOptions& options, const MachineFacts& facts,
                                             const std::string& database, std::string& arguments) {
    char buffer[kCommandBufferSize];
    if (!formatInto(buffer, "%s", options.installerArguments.c_str())) return std::nullopt;
    if (options.silent && !AppendSilentArguments(buffer, options.featuresChosen)) return std::nullopt;
    arguments = buffer;
    char command[kCommandBufferSize];
    const InstallerCommandParts parts{facts.msiexecPath.c_str(),    database.c_str(), buffer, facts.langId,
                                      options.installerLogFile,     options.installDir.c_str(),
                                      options.noStartMenu,          options.installerLogModes};
    if (!ComposeInstallerCommand(command, parts)) return std::nullopt;
    return std::string(command);
}

}  // namespace

RunPlan planRun(const RunOptions& options, const MachineFacts& facts) {
    RunPlan plan;
    plan.installerWaitSeconds = options.installerWaitSeconds;
    const auto refuse = [&plan](int code, const std::string& why) {
        if (!plan.refusal) plan.refusal = Refusal{code, why};
    };

    using Verdict = SameVersionDecision::Verdict;
    const SameVersionDecision sameVersion = decideSameVersion(facts.installed);
    plan.newerBuildInstalled = sameVersion.verdict == Verdict::NewerBuild;
    if (sameVersion.verdict == Verdict::NewerBuild)
        refuse(kExitFailed, "a newer build of the kit of this version is installed");
    if (sameVersion.verdict == Verdict::KitNotRegistered)
        refuse(kExitFailed, "the installed kit of this version is unknown to the Windows Installer, so it cannot "
                            "be removed");
    if (!facts.kitDatabaseCarried) refuse(kExitNoKitDatabase, "the launcher carries no kit database");

    plan.kitFolder = perUserLayout::kitFolderPath(facts.userDataFolder, facts.is64);
    plan.kitDatabase = perUserLayout::kitDatabasePath(facts.userDataFolder, facts.is64);
    if (plan.kitDatabase.size() >= kPayloadPathSize)
        refuse(kExitPathTooLong, "the kit database path " + plan.kitDatabase + " is too long");
    if (facts.msiexecPath.empty()) refuse(kExitEngineNotFound, "msiexec.exe cannot be found");
    if (!plan.refusal) {
        if (const auto command = composeKitCommand(options, facts, plan.kitDatabase, plan.installerArguments))
            plan.kitCommand = *command;
        else
            refuse(kExitCommandTooLong, "the installer command does not fit its buffer");
    }

    if (!plan.refusal) {
        plan.removals = sameVersion.removals;
        for (const ProductRemoval& removal : plan.removals)
            plan.removalCommands.push_back("\"" + facts.msiexecPath + "\"" +
                                           removalArguments(removal.code, options.silent));
    }
    plan.publicRuntimeAfterKit = options.silent && selectsPublicRuntime(plan.installerArguments.c_str());
    plan.retryBusyAfterRemoval = !plan.removals.empty();

    // In the order the run meets them.
    if (facts.guardHeld) {
        plan.expectedExitCode = kExitFailed;
        plan.expectation = "another Zolt installation is in progress";
    } else if (facts.installerBusy) {
        plan.expectedExitCode = kExitInstallerBusy;
        plan.expectation = "another installation holds the Windows Installer now; the run waits up to " +
                           std::to_string(options.installerWaitSeconds) + " seconds for it" +
                           (options.silent ? "" : " or asks");
    } else if (plan.refusal) {
        plan.expectedExitCode = plan.refusal->exitCode;
        plan.expectation = plan.refusal->why;
    } else {
        plan.expectedExitCode = kExitSuccess;
        plan.expectation = "the kit is installed (the engine's own code, such as 3010, passes through)";
    }
    return plan;
}

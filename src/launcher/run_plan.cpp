// The decisions after the kit's engine run; nothing here touches the machine.
#include "launcher/run_plan.h"

#include <cstring>

#include "launcher/install_command.h"
#include "launcher/payload.h"
#include "launcher/package_cache_layout.h"
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

int finalExitCode(int exitCodeSoFar, bool removalWantsRestart) {
    const bool plainSuccess = exitCodeSoFar == kExitSuccess || exitCodeSoFar == kExitEngineSucceeded;
    if (plainSuccess && removalWantsRestart) return kExitEngineRebootRequired;
    return exitCodeSoFar;
}

bool kitInstalled(int engineExitCode) {
    return engineSucceeded(engineExitCode) || engineExitCode == kExitEngineRebootStarted;
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
    if (facts.cabinetEventTaken)
        refuse(kExitFailed, std::string("another program made the event ") + kCabExtractEventName +
                                " first and could tell the installer that the cabinets are complete");

    plan.payloadBytes = facts.payloadBytes;
    if (facts.programDataFolder.empty()) {
        refuse(kExitFunctionFailed, "the common application data folder, where the package cache lies, cannot be "
                                    "found");
    } else {
        plan.payloadFolder =
            packageCacheLayout::runFolderPath(facts.programDataFolder, facts.is64, facts.runFolderName);
        plan.kitDatabase = plan.payloadFolder + "\\" + packageCacheLayout::kitDatabaseName();
        plan.autoUpdateDatabase = plan.payloadFolder + "\\" + packageCacheLayout::autoUpdateDatabaseName();
        for (const packageCacheLayout::PayloadFile& file : packageCacheLayout::payloadFiles()) {
            const std::string path = plan.payloadFolder + "\\" + file.name;
            if (path.size() >= kPayloadPathSize) refuse(kExitPathTooLong, "the payload path " + path + " is too long");
        }
        if (facts.freeBytes < facts.payloadBytes)
            refuse(kExitDiskFull, "the payload needs " + std::to_string(facts.payloadBytes) + " bytes in " +
                                      facts.programDataFolder + ", and its drive has " +
                                      std::to_string(facts.freeBytes) + " bytes free");
    }
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
    } else if (facts.cabinetEventTaken) {
        plan.expectedExitCode = kExitFailed;
        plan.expectation = std::string("another program made the event ") + kCabExtractEventName + " first";
    } else if (facts.installerBusy && options.installerWaitSeconds == 0) {
        plan.expectedExitCode = kExitInstallerBusy;
        plan.expectation = "another installation holds the Windows Installer now, and INSTALLER_WAIT=0 gives up at "
                           "once";
    } else if (plan.refusal) {
        plan.expectedExitCode = plan.refusal->exitCode;
        plan.expectation = plan.refusal->why;
    } else {
        plan.expectedExitCode = kExitSuccess;
        plan.expectation = "the kit is installed (the engine's own code, such as 3010, passes through)";
        // What another program does meanwhile decides this one: said, not guessed.
        if (facts.installerBusy)
            plan.expectation += "; another installation holds the Windows Installer now: the run waits up to " +
                                std::to_string(options.installerWaitSeconds) + " seconds for it" +
                                (options.silent ? "" : " or asks") + ", and ends with 1618 if it is still busy then";
    }
    return plan;
}

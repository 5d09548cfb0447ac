// The uninstall's steps: reading what this version left on the machine, planning, /check, and carrying out the
// removals the plan lists, in its order.
#include <string>
#include <vector>

#include "buildinfo/build_constants.h"
#include "launcher/console_output.h"
#include "launcher/install_command.h"
#include "launcher/install_guard.h"
#include "launcher/install_steps.h"
#include "launcher/installer_wait_step.h"
#include "launcher/package_cache_layout.h"
#include "launcher/payload_folders.h"
#include "launcher/per_user_layout.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/registry_key.h"
#include "platform/tstrings.h"
#include "process/engine_logs.h"
#include "process/executor.h"
#include "process/installer_lock.h"
#include "process/msiexec_path.h"
#include "products/installed_products.h"
#include "products/kit_product_code.h"
#include "products/product_codes.h"
#include "products/removal.h"
#include "updatepolicy/reg_data.h"

namespace {

constexpr const char* kFunction = "carryOutUninstall";
// The package cache's product folder holds builds, which hold runs, which hold files; an earlier launcher's
// payload folder holds files only. One level more than the cache makes, so that nothing stays for depth alone.
constexpr int kRemovalDepth = 4;

REGSAM viewOf(int arch) { return arch == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

bool keyOpens(const std::string& path, REGSAM view) {
    RegistryKey key;
    return key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | view) == ERROR_SUCCESS;
}

bool isFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The kit versions registered in either view besides this one; each once.
std::vector<std::string> otherKitVersions() {
    std::vector<std::string> others;
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        RegistryKey root;
        if (root.Open(HKEY_LOCAL_MACHINE, zoltkeys::kitRoot, KEY_READ | view) != ERROR_SUCCESS) continue;
        for (const std::string& version : root.enumSubkeys()) {
            if (_stricmp(version.c_str(), buildconstants::productVersion) == 0) continue;
            bool seen = false;
            for (const std::string& other : others) seen = seen || _stricmp(other.c_str(), version.c_str()) == 0;
            if (!seen) others.push_back(version);
        }
    }
    return others;
}

constexpr const char* kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

std::string kitPayloadPath(const std::string& dataFolder, bool is64) {
    return dataFolder + "\\" + perUserLayout::kMakerFolder + "\\" + perUserLayout::kProductFolder + "\\" +
           perUserLayout::legacyKitPayloadFolderName(is64);
}

std::string autoUpdatePayloadPath(const std::string& dataFolder) {
    return dataFolder + "\\" + perUserLayout::kLegacyAutoUpdateMaker + "\\" + perUserLayout::kProductFolder + "\\" +
           perUserLayout::kLegacyAutoUpdateFolder;
}

// The per-user data folders of the accounts Windows keeps a profile for (their LocalLow), each as Windows names
// it; a profile whose path has no ANSI form or does not fit is left out.
std::vector<std::string> profileDataFolders() {
    std::vector<std::string> folders;
    RegistryKey list;
    if (list.Open(HKEY_LOCAL_MACHINE, kProfileList, KEY_READ | KEY_WOW64_64KEY) != ERROR_SUCCESS) return folders;
    for (const std::string& account : list.enumSubkeys()) {
        RegistryKey profile;
        if (profile.Open(list.get(), account.c_str(), KEY_READ) != ERROR_SUCCESS) continue;
        const std::string path = profile.queryString("ProfileImagePath", "");
        char expanded[MAX_PATH];
        const DWORD size = ExpandEnvironmentStringsA(path.c_str(), expanded, sizeof expanded);
        if (path.empty() || size == 0 || size > sizeof expanded) continue;
        folders.push_back(std::string(expanded) + "\\AppData\\LocalLow");
    }
    return folders;
}

// Every account's per-user data folder that holds a payload an earlier launcher left: the running account's
// first, then the other profiles', each once.
std::vector<PerUserLeftovers> perUserLeftovers(const std::string& running, bool is64) {
    std::vector<std::string> folders;
    if (!running.empty()) folders.push_back(running);
    for (const std::string& folder : profileDataFolders()) {
        bool seen = false;
        for (const std::string& known : folders) seen = seen || _stricmp(known.c_str(), folder.c_str()) == 0;
        if (!seen) folders.push_back(folder);
    }
    std::vector<PerUserLeftovers> found;
    for (const std::string& folder : folders) {
        const PerUserLeftovers account{folder, isFolder(kitPayloadPath(folder, is64)),
                                       isFolder(autoUpdatePayloadPath(folder))};
        if (account.kitPayload || account.autoUpdatePayload) found.push_back(account);
    }
    return found;
}

std::string joined(const std::string& base, const std::vector<std::string>& names, size_t count) {
    std::string path = base;
    for (size_t i = 0; i < count; ++i) path += "\\" + names[i];
    return path;
}

// Removes the action's folder: every folder above it is opened inside the held one above (from the base down)
// and held, and the folder itself is removed as itself, links never followed. 0 or the Win32 error.
DWORD removeEntry(RunHolds& holds, const UninstallAction& action) {
    const size_t parents = action.names.size() - 1;
    std::vector<ChainLink> chain;
    for (size_t i = 0; i < parents; ++i) chain.push_back({action.names[i].c_str(), FolderRole::Shared, nullptr});
    if (!holdFolderChain(holds, action.base.c_str(), chain.data(), chain.size(), kFunction))
        return ERROR_CANT_ACCESS_FILE;
    const HANDLE parent = heldFolder(holds, joined(action.base, action.names, parents));
    if (!parent) return ERROR_INVALID_HANDLE;
    const DWORD error = removeEntryTree(parent, tstrings::toUtf16(action.names.back()), kRemovalDepth);
    // Gone already is what was asked for.
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
}

// The removal's command with its engine log, or without it (after a WARNING) when that would not fit the engine's
// command buffer: the removal matters more than its log.
std::string withEngineLog(const UninstallAction& action, EngineLogs& logs) {
    const std::string logged = action.command + logs.switchFor(action.package);
    if (logged.size() < kCommandBufferSize) return logged;
    TBX_LOG_AS(kFunction, LOG_WARNING,
               "The removal of " + action.what + " with its engine log does not fit its buffer; it runs without the "
               "log.");
    return action.command;
}

DWORD removePolicyKey(const std::string& path) {
    const size_t split = path.rfind('\\');
    RegistryKey parent;
    if (const LONG error = parent.Open(HKEY_LOCAL_MACHINE, path.substr(0, split).c_str(),
                                       KEY_READ | KEY_WRITE | DELETE | KEY_WOW64_32KEY))
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(error);
    const LONG error = RegDeleteTreeA(parent.get(), path.substr(split + 1).c_str());
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(error);
}

}  // namespace

StepResult probeForUninstall(RunContext& run) {
    UninstallFacts& facts = run.uninstallFacts;
    const int arch = installArch();
    const std::string version = buildconstants::productVersion;
    facts.is64 = run.facts.is64;
    char msiexec[MAX_PATH] = "";
    facts.msiexecPath = GetMsiexecPath(msiexec, sizeof msiexec) ? msiexec : "";
    facts.guardHeld = isInstallFlagHeld(perUserLayout::guardFlagPath(run.facts.userDataFolder).c_str());
    // The guard's test refuses the run on it, as the install's does.
    run.facts.guardHeld = facts.guardHeld;
    // A run the guard refuses reads nothing else: the other installation is changing what it would read. A
    // check reads on, to show the whole plan.
    if (facts.guardHeld && !run.options->checkOnly) return StepResult::proceed();
    facts.installerBusy = isInstallerLockHeld();
    facts.kitKeyPresent = keyOpens(std::string(zoltkeys::kitRoot) + "\\" + version, viewOf(arch));
    facts.kitCode = kitProductCode(version, arch == 32);
    facts.kitCodeRegistered = isProductCodeRegistered(facts.kitCode, arch == 64);
    facts.runtimeCode = zscrub::ZCleaner::getProductGUID(version, arch);
    facts.runtimeCodeRegistered = isProductCodeRegistered(facts.runtimeCode, arch == 64);
    facts.autoUpdateRegistered =
        isProductCodeRegistered(kAutoUpdateProductCode, true) || isProductCodeRegistered(kAutoUpdateProductCode, false);
    facts.otherKitVersions = otherKitVersions();
    facts.programDataFolder = commonAppDataFolder();
    if (!facts.programDataFolder.empty()) {
        facts.packageCachePresent = isFolder(packageCacheLayout::productFolderPath(facts.programDataFolder, facts.is64));
        facts.settingsFilePresent = isFile(facts.programDataFolder + "\\Vantrel\\Zolt\\zolt.settings.cfg");
    }
    facts.perUser = perUserLeftovers(run.facts.userDataFolder, facts.is64);
    facts.updatePolicyPresent = keyOpens(au::policykeys::policy, KEY_WOW64_32KEY);
    return StepResult::proceed();
}

StepResult planTheUninstall(RunContext& run) {
    run.uninstallPlan.emplace(planUninstall(*run.options, run.uninstallFacts));
    return StepResult::proceed();
}

StepResult answerUninstallCheck(RunContext& run) {
    if (!run.options->checkOnly) return StepResult::proceed();
    const UninstallPlan& plan = *run.uninstallPlan;
    const std::string text = uninstallPlanText(plan, *run.options, run.uninstallFacts);
    TBX_LOG_AS("answerCheck", LOG_INFO, "Only a check was asked for; nothing is changed.\n" + text);
    writeToConsole(text);
    return StepResult::endRun(plan.expectedExitCode, "only a check: " + plan.expectation);
}

StepResult waitForInstallerBeforeRemovals(RunContext& run) {
    // Only the engine needs the Windows Installer; folders and files go without it.
    if (!run.uninstallPlan->productsRemoved) return StepResult::proceed();
    return waitForInstaller(run);
}

StepResult refuseWhatTheUninstallPlanRefused(RunContext& run) {
    const UninstallPlan& plan = *run.uninstallPlan;
    if (!plan.refusal) return StepResult::proceed();
    TBX_LOG_AS(kFunction, LOG_ERROR, "Nothing is removed: " + plan.refusal->why + ".");
    return StepResult::endRun(plan.refusal->exitCode, plan.refusal->why);
}

StepResult carryOutUninstall(RunContext& run) {
    const UninstallPlan& plan = *run.uninstallPlan;
    if (plan.nothingInstalled)
        TBX_LOG_AS(kFunction, LOG_INFO,
                   std::string("Nothing of the Zolt Development Kit ") + buildconstants::productVersion +
                       " is installed; only what earlier runs left is removed.");
    if (!plan.autoUpdateKept.empty())
        TBX_LOG_AS(kFunction, LOG_INFO, "The auto-update component stays: " + plan.autoUpdateKept + ".");
    std::vector<int> engineCodes;
    DWORD firstEntryError = ERROR_SUCCESS;
    std::string entriesLeft;
    for (size_t i = 0; i < plan.actions.size(); ++i) {
        const UninstallAction& action = plan.actions[i];
        if (action.kind == UninstallActionKind::Product) {
            TBX_LOG_AS(kFunction, LOG_INFO, "Removing " + action.what + ": " + action.command);
            const int code = static_cast<int>(Executor::ExecProcessWithAtlMessageLoop(
                run.uninstallFacts.msiexecPath, withEngineLog(action, run.engineLogs)));
            engineCodes.push_back(code);
            if (!removalSucceeded(code)) {
                TBX_LOG_AS(kFunction, LOG_ERROR,
                           "The engine did not remove " + action.what + " (exit code " + std::to_string(code) +
                               "); the uninstall stops. What stays: " + uninstallLeftovers(plan, i) + ".");
                return StepResult::endRun(code, action.what + " was not removed");
            }
            if (code == kExitEngineRebootStarted) {
                TBX_LOG_AS(kFunction, LOG_WARNING,
                           "Windows is restarting after the removal of " + action.what +
                               "; nothing more runs. What stays until /uninstall runs again: " +
                               uninstallLeftovers(plan, i + 1) + ".");
                return StepResult::endRun(code, "");
            }
            TBX_LOG_AS(kFunction, LOG_INFO, "Removed " + action.what + " (exit code " + std::to_string(code) + ").");
            continue;
        }
        const DWORD error = action.kind == UninstallActionKind::RegistryKey    ? removePolicyKey(action.path)
                            : action.kind == UninstallActionKind::SettingsFile ? run.config->removeRuntimeSettingsFile()
                                                                               : removeEntry(run.holds, action);
        if (error == ERROR_SUCCESS) {
            TBX_LOG_AS(kFunction, LOG_INFO, "Removed " + action.what + ": " + action.path);
            continue;
        }
        // The products are gone; what cannot be removed now is named, and the rest is still removed.
        TBX_LOG_AS(kFunction, LOG_ERROR,
                   action.what + " (" + action.path + ") cannot be removed: " + systemErrorText(error));
        if (firstEntryError == ERROR_SUCCESS) firstEntryError = error;
        entriesLeft += (entriesLeft.empty() ? "" : "; ") + action.what + " (" + action.path + ")";
    }
    if (firstEntryError != ERROR_SUCCESS) {
        // A link in place of a folder above what goes was refused as tampering, as the install refuses it.
        const int exitCode = run.holds.tampered() ? kExitTampered : static_cast<int>(firstEntryError);
        return StepResult::endRun(exitCode, "what stays: " + entriesLeft, firstEntryError);
    }
    const int code = uninstallExitCode(engineCodes);
    TBX_LOG_AS(kFunction, LOG_INFO,
               std::string("Everything of the Zolt Development Kit ") + buildconstants::productVersion +
                   " that the launcher placed is removed" +
                   (run.options->removeSettings ? "" : "; the runtime settings file and the update policy stay") +
                   ".");
    return StepResult::endRun(code, "");
}

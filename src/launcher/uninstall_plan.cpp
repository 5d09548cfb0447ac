// Deciding the uninstall: which products, folders, files and keys go, in which order, and with which commands.
#include "launcher/uninstall_plan.h"

#include "buildinfo/build_constants.h"
#include "launcher/package_cache_layout.h"
#include "launcher/per_user_layout.h"
#include "process/engine_result.h"
#include "process/exit_codes.h"
#include "products/kit_product_code.h"
#include "updatepolicy/reg_data.h"

namespace {

constexpr const char* kSettingsMaker = "Vantrel";
constexpr const char* kSettingsFolder = "Zolt";
constexpr const char* kSettingsFile = "zolt.settings.cfg";

std::string joined(const std::string& base, const std::vector<std::string>& names) {
    std::string path = base;
    for (const std::string& name : names) path += "\\" + name;
    return path;
}

UninstallAction product(const std::string& what, const char* package, const std::string& code,
                        const std::string& msiexecPath, const std::string& quietAndRestart) {
    UninstallAction action;
    action.kind = UninstallActionKind::Product;
    action.what = what;
    action.package = package;
    action.code = code;
    action.command = "\"" + msiexecPath + "\" /x " + code + quietAndRestart;
    return action;
}

UninstallAction below(UninstallActionKind kind, const std::string& what, const std::string& base,
                      std::vector<std::string> names) {
    UninstallAction action;
    action.kind = kind;
    action.what = what;
    action.base = base;
    action.names = std::move(names);
    action.path = joined(base, action.names);
    return action;
}

}  // namespace

bool removalSucceeded(int engineCode) {
    return engineSucceeded(engineCode) || engineCode == kExitEngineRebootStarted;
}

int uninstallExitCode(const std::vector<int>& engineCodes) {
    int code = kExitSuccess;
    for (const int engine : engineCodes) {
        if (!removalSucceeded(engine) || engine == kExitEngineRebootStarted) return engine;
        if (engine == kExitEngineRebootRequired) code = kExitEngineRebootRequired;
    }
    return code;
}

UninstallPlan planUninstall(const RunOptions& options, const UninstallFacts& facts) {
    UninstallPlan plan;
    const std::string version = buildconstants::productVersion;
    // The kit's own removal screens for a person; the companions always quietly, and only the kit's run may
    // restart Windows, as in the install.
    const std::string kitSwitches =
        std::string(options.silent ? " /qn" : "") + (options.reallySuppress ? kSuppressRebootArgument : "");
    const std::string companionSwitches = std::string(options.silent ? " /qn" : " /qb!") + kSuppressRebootArgument;

    if (facts.kitKeyPresent && !facts.kitCodeRegistered)
        plan.refusal = Refusal{kExitFailed, "the kit " + version + " is installed, but the Windows Installer does not "
                                            "know its product code " + facts.kitCode + ", so it cannot be removed"};

    if (facts.kitCodeRegistered)
        plan.actions.push_back(
            product("the kit " + version, "kit-removal", facts.kitCode, facts.msiexecPath, kitSwitches));
    if (facts.runtimeCodeRegistered)
        plan.actions.push_back(
            product("the public runtime " + version, "runtime-removal", facts.runtimeCode, facts.msiexecPath,
                    companionSwitches));

    const bool otherKits = !facts.otherKitVersions.empty();
    if (otherKits) {
        plan.autoUpdateKept = "other kit versions are installed:";
        for (const std::string& other : facts.otherKitVersions) plan.autoUpdateKept += " " + other;
    }
    if (facts.autoUpdateRegistered && !otherKits)
        plan.actions.push_back(
            product("the auto-update component", "auto-update-removal", kAutoUpdateProductCode, facts.msiexecPath,
                    companionSwitches));
    plan.productsRemoved = !plan.actions.empty();
    plan.nothingInstalled = !plan.productsRemoved && !facts.kitKeyPresent;

    if (facts.packageCachePresent && !facts.programDataFolder.empty())
        plan.actions.push_back(
            below(UninstallActionKind::Folder, "the kit's package cache", facts.programDataFolder,
                  {packageCacheLayout::kMakerFolder, packageCacheLayout::kCacheFolder,
                   packageCacheLayout::productFolderName(facts.is64)}));
    for (const PerUserLeftovers& account : facts.perUser) {
        if (account.kitPayload)
            plan.actions.push_back(below(UninstallActionKind::Folder, "the kit's payload left by an earlier launcher",
                                         account.dataFolder,
                                         {perUserLayout::kMakerFolder, perUserLayout::kProductFolder,
                                          perUserLayout::legacyKitPayloadFolderName(facts.is64)}));
        // The component's database stays with the component while another kit version keeps it.
        if (account.autoUpdatePayload && !otherKits)
            plan.actions.push_back(below(UninstallActionKind::Folder,
                                         "the auto-update database left by an earlier launcher", account.dataFolder,
                                         {perUserLayout::kLegacyAutoUpdateMaker, perUserLayout::kProductFolder,
                                          perUserLayout::kLegacyAutoUpdateFolder}));
    }
    if (options.removeSettings) {
        if (facts.settingsFilePresent && !facts.programDataFolder.empty())
            plan.actions.push_back(below(UninstallActionKind::SettingsFile, "the runtime settings file",
                                         facts.programDataFolder, {kSettingsMaker, kSettingsFolder, kSettingsFile}));
        if (facts.updatePolicyPresent && !otherKits) {
            UninstallAction policy;
            policy.kind = UninstallActionKind::RegistryKey;
            policy.what = "the update policy";
            policy.path = au::policykeys::policy;
            plan.actions.push_back(policy);
        }
    }

    if (!plan.refusal && plan.productsRemoved && facts.msiexecPath.empty())
        plan.refusal = Refusal{kExitEngineNotFound, "msiexec.exe cannot be found"};

    // In the order the run meets them.
    if (facts.guardHeld) {
        plan.expectedExitCode = kExitFailed;
        plan.expectation = "another Zolt installation is in progress";
    } else if (plan.productsRemoved && facts.installerBusy && options.installerWaitSeconds == 0) {
        plan.expectedExitCode = kExitInstallerBusy;
        plan.expectation = "another installation holds the Windows Installer now, and INSTALLER_WAIT=0 gives up at "
                           "once";
    } else if (plan.refusal) {
        plan.expectedExitCode = plan.refusal->exitCode;
        plan.expectation = plan.refusal->why;
    } else if (plan.nothingInstalled) {
        plan.expectation = "nothing of the kit " + version + " is installed";
    } else {
        plan.expectation = "everything listed is removed (an engine's restart code, 3010 or 1641, passes through)";
        // What another program does meanwhile decides this one: said, not guessed.
        if (plan.productsRemoved && facts.installerBusy)
            plan.expectation += "; another installation holds the Windows Installer now: the run waits up to " +
                                std::to_string(options.installerWaitSeconds) + " seconds for it" +
                                (options.silent ? "" : " or asks") + ", and ends with 1618 if it is still busy then";
    }
    return plan;
}

std::string uninstallLeftovers(const UninstallPlan& plan, size_t next) {
    std::string text;
    for (size_t i = next; i < plan.actions.size(); ++i) {
        const UninstallAction& action = plan.actions[i];
        if (!text.empty()) text += "; ";
        text += action.what + " (" + (action.kind == UninstallActionKind::Product ? action.code : action.path) + ")";
    }
    return text.empty() ? "nothing" : text;
}

std::string uninstallPlanText(const UninstallPlan& plan, const RunOptions& options, const UninstallFacts& facts) {
    const auto yesNo = [](bool value) { return std::string(value ? "yes" : "no"); };
    std::string text = "What this uninstall would do (nothing was changed):\n\n";
    text += "  silent: " + yesNo(options.silent) + "; INSTALLER_WAIT in effect: " +
            std::to_string(options.installerWaitSeconds) + " s; runtime settings and update policy removed: " +
            yesNo(options.removeSettings) + "\n";
    text += "\nThe machine now:\n";
    text += "  another Zolt installation running: " + yesNo(facts.guardHeld) + "\n";
    text += "  Windows Installer busy: " + yesNo(facts.installerBusy) + "\n";
    text += "  kit " + facts.kitCode + " registered: " + yesNo(facts.kitCodeRegistered) + "\n";
    text += "  public runtime " + facts.runtimeCode + " registered: " + yesNo(facts.runtimeCodeRegistered) + "\n";
    text += "  auto-update component registered: " + yesNo(facts.autoUpdateRegistered) + "\n";
    text += "  Windows Installer: " + (facts.msiexecPath.empty() ? std::string("not found") : facts.msiexecPath) + "\n";
    if (plan.refusal) {
        text += "\nThe uninstall would stop before it changes anything: " + plan.refusal->why + "\n";
    } else {
        text += "\nRemovals, in order:\n";
        if (plan.actions.empty()) text += "  none\n";
        for (const UninstallAction& action : plan.actions) {
            text += "  " + action.what + ": ";
            text += action.kind == UninstallActionKind::Product       ? action.command
                    : action.kind == UninstallActionKind::RegistryKey ? "HKEY_LOCAL_MACHINE\\" + action.path +
                                                                            " (32-bit view)"
                                                                      : action.path;
            text += "\n";
        }
        if (!plan.autoUpdateKept.empty())
            text += "  the auto-update component stays: " + plan.autoUpdateKept + "\n";
        if (!options.removeSettings)
            text += "  the runtime settings file and the update policy stay (/removesettings removes them)\n";
        if (plan.productsRemoved)
            text += "  each engine run writes its verbose log beside the launcher's log "
                    "(tbx-msi-<run>-<nn>-<package>.log)\n";
        text += "\nAn engine's result: 0, 1707: removed; 3010: removed, the exit code becomes 3010; 1641: removed, "
                "Windows is restarting and nothing more runs; any other: the uninstall stops with that code and "
                "names what stays\n";
    }
    text += "\nExpected exit code: " + std::to_string(plan.expectedExitCode) + " (" + plan.expectation + ")\n";
    return text;
}

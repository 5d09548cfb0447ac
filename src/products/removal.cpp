// Removing a same-version kit or runtime by its computed product code, through the Windows Installer engine.
#include "products/removal.h"

#include "buildinfo/build_constants.h"
#include "buildinfo/payload_resources.h"
#include "platform/bounded_format.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/registry_key.h"
#include "platform/resources.h"
#include "platform/tstrings.h"
#include "platform/prompter.h"
#include "process/bitness.h"
#include "process/engine_result.h"
#include "process/executor.h"
#include "process/exit_codes.h"
#include "process/msiexec_path.h"
#include "products/installed_products.h"
#include "products/product_codes.h"
#include "strings/string_ids.h"

namespace {

constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

REGSAM viewOf(int arch) { return arch == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

bool keyOpens(const char* path, int arch) {
    RegistryKey key;
    return key.Open(HKEY_LOCAL_MACHINE, path, KEY_READ | viewOf(arch)) == ERROR_SUCCESS;
}

void showNewerBuildMessage(bool silent) {
    HMODULE launcher = GetModuleHandleA(nullptr);
    Prompter(silent).show(StringResource(IDS_NEWER_BUILD_TEXT, launcher).string(),
                          StringResource(IDS_NEWER_BUILD_CAPTION, launcher).string(), MB_ICONERROR);
}

}  // namespace

bool isProductCodeRegistered(const std::string& code, bool view64) {
    RegistryKey uninstall;
    if (uninstall.Open(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_READ | (view64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY)) !=
        ERROR_SUCCESS)
        return false;
    RegistryKey product;
    return product.Open(uninstall.get(), code.c_str(), KEY_READ) == ERROR_SUCCESS;
}

DWORD uninstallProductCode(const std::string& code, bool silent, EngineLogs* logs, const char* package) {
    char arguments[2048];
    const std::string logSwitch = logs ? logs->switchFor(package) : std::string();
    if (!formatInto(arguments, "%s%s", removalArguments(code, silent).c_str(), logSwitch.c_str()))
        return kExitFunctionFailed;
    char msiexecPath[2048] = "";
    GetMsiexecPath(msiexecPath, sizeof msiexecPath);
    DWORD exitCode = Executor::ExecProcessWaitForFinish(msiexecPath, arguments, 0);
    if (!engineSucceeded(static_cast<int>(exitCode)))
        logit(tstrings::format("uninstall %s of %s failed.  ErrorCode: %d", buildconstants::productVersion,
                               code.c_str(), static_cast<int>(exitCode))
                  .c_str());
    return exitCode;
}

DWORD CheckGUIDAndUninstall(int arch, bool view64, bool silent) {
    std::string code = zscrub::ZCleaner::getProductGUID(buildconstants::productVersion, arch);
    if (!isProductCodeRegistered(code, view64)) {
        TBX_LOG(LOG_ERROR, "GUID not found" + code + ":" + std::to_string(GetLastError()));
        return 0;
    }
    DWORD exitCode = uninstallProductCode(code, silent);
    if (!engineSucceeded(static_cast<int>(exitCode)))
        TBX_LOG(LOG_ERROR, "Uninstall existing PLN failed" + code + ":" + std::to_string(exitCode));
    return exitCode;
}

bool UninstallExistingTBX(bool silent, bool* rebootRequired) {
    const int arch = installArch();
    std::string code = kitProductCode(buildconstants::productVersion, arch == 32);
    if (!isProductCodeRegistered(code, arch == 64)) {
        TBX_LOG(LOG_ERROR, tstrings::format("TBX GUID not found %s: %d", code.c_str(), static_cast<int>(GetLastError())));
        return false;
    }
    const int exitCode = static_cast<int>(uninstallProductCode(code, silent));
    if (!engineSucceeded(exitCode)) {
        TBX_LOG(LOG_ERROR, tstrings::format("Uninstall existining TBX failed %s: %d", code.c_str(), exitCode));
        return false;
    }
    if (rebootRequired && exitCode == kExitEngineRebootRequired) *rebootRequired = true;
    return true;
}

namespace {

// The records of the removal carry the name of the operation the driver calls, not of this helper.
constexpr const char* kRemovalName = "UninstallPLNOrTBXIfSameVersionExists";

std::string versionKey(const char* root) { return std::string(root) + "\\" + buildconstants::productVersion; }

}  // namespace

SameVersionFacts probeSameVersion() {
    SameVersionFacts facts;
    const int arch = installArch();
    facts.kitCode = kitProductCode(buildconstants::productVersion, arch == 32);
    facts.runtimeCode = zscrub::ZCleaner::getProductGUID(buildconstants::productVersion, arch);
    facts.kitInstalled = keyOpens(versionKey(zoltkeys::kitRoot).c_str(), arch);
    if (facts.kitInstalled) {
        facts.kitSameOrOlderBuild = IsSameOrOlderBuildInstalled(true);
        facts.kitCodeRegistered = isProductCodeRegistered(facts.kitCode, arch == 64);
    }
    facts.runtimeInstalled = keyOpens(versionKey(zoltkeys::runtimeRoot).c_str(), arch);
    if (facts.runtimeInstalled) {
        facts.runtimeSameOrOlderBuild = IsSameOrOlderBuildInstalled(false);
        facts.runtimeStatic = facts.runtimeSameOrOlderBuild && IsVersionStatic(arch == 64);
        facts.runtimeCodeRegistered = isProductCodeRegistered(facts.runtimeCode, arch == 64);
    }
    return facts;
}

SameVersionDecision decideSameVersion(const SameVersionFacts& facts) {
    using Verdict = SameVersionDecision::Verdict;
    SameVersionDecision decision;
    if (facts.kitInstalled) {
        // A newer build stays; a kit the engine does not know cannot be removed, so nothing may replace it.
        if (!facts.kitSameOrOlderBuild) decision.verdict = Verdict::NewerBuild;
        else if (!facts.kitCodeRegistered) decision.verdict = Verdict::KitNotRegistered;
        else decision.removals.push_back({true, facts.kitCode});
    }
    if (decision.verdict != Verdict::Proceed) {
        decision.removals.clear();
        return decision;
    }
    // A runtime whose code the engine does not know is no error: there is nothing to remove.
    if (facts.runtimeInstalled && facts.runtimeSameOrOlderBuild && !facts.runtimeStatic &&
        facts.runtimeCodeRegistered)
        decision.removals.push_back({false, facts.runtimeCode});
    return decision;
}

std::string removalArguments(const std::string& code, bool silent) {
    return " /x " + code + (silent ? " /qn" : " /qb!") + kSuppressRebootArgument;
}

void logSameVersionDecision(const SameVersionFacts& facts, const SameVersionDecision& decision) {
    using Verdict = SameVersionDecision::Verdict;
    if (!facts.kitInstalled) TBX_LOG_AS(kRemovalName, LOG_INFO, "No same version TBX exists");
    if (decision.verdict == Verdict::NewerBuild)
        TBX_LOG_AS(kRemovalName, LOG_ERROR,
                   "A newer build of the kit of this version is installed (" + versionKey(zoltkeys::kitRoot) +
                       "); it is kept and nothing is installed.");
    if (decision.verdict == Verdict::KitNotRegistered) {
        TBX_LOG_AS("UninstallExistingTBX", LOG_ERROR,
                   tstrings::format("TBX GUID not found %s: %d", facts.kitCode.c_str(), static_cast<int>(ERROR_FILE_NOT_FOUND)));
        TBX_LOG_AS(kRemovalName, LOG_ERROR,
                   tstrings::format("UninstallExistingTBX (%s) failed", versionKey(zoltkeys::kitRoot).c_str()));
    }
    if (decision.verdict != Verdict::Proceed) return;
    if (!facts.runtimeInstalled) TBX_LOG_AS(kRemovalName, LOG_INFO, "No same version PLN exists");
    else if (facts.runtimeSameOrOlderBuild && !facts.runtimeStatic && !facts.runtimeCodeRegistered)
        TBX_LOG_AS("CheckGUIDAndUninstall", LOG_WARNING,
                   "GUID not found" + facts.runtimeCode + ": the runtime of this version is not removed.");
}

bool applyRemovals(const std::vector<ProductRemoval>& removals, bool silent, bool* rebootRequired,
                   EngineLogs* logs) {
    for (const ProductRemoval& removal : removals) {
        const int exitCode = static_cast<int>(
            uninstallProductCode(removal.code, silent, logs, removal.isKit ? "kit-removal" : "runtime-removal"));
        if (!engineSucceeded(exitCode)) {
            const std::string key = versionKey(removal.isKit ? zoltkeys::kitRoot : zoltkeys::runtimeRoot);
            if (removal.isKit)
                TBX_LOG_AS("UninstallExistingTBX", LOG_ERROR,
                           tstrings::format("Uninstall existining TBX failed %s: %d", removal.code.c_str(), exitCode));
            else
                TBX_LOG_AS("CheckGUIDAndUninstall", LOG_ERROR,
                           "Uninstall existing PLN failed" + removal.code + ":" + std::to_string(exitCode));
            TBX_LOG_AS(kRemovalName, LOG_ERROR,
                       removal.isKit ? tstrings::format("UninstallExistingTBX (%s) failed", key.c_str())
                                     : tstrings::format("UninstallPLNIfSameOrOlderBuild( %s) failed", key.c_str()));
            return false;
        }
        if (rebootRequired && exitCode == kExitEngineRebootRequired) *rebootRequired = true;
    }
    return true;
}

namespace {

bool removeSameVersionInstalls(bool silent, bool* rebootRequired) {
    const SameVersionFacts facts = probeSameVersion();
    const SameVersionDecision decision = decideSameVersion(facts);
    logSameVersionDecision(facts, decision);
    if (decision.verdict == SameVersionDecision::Verdict::NewerBuild) showNewerBuildMessage(silent);
    if (decision.verdict != SameVersionDecision::Verdict::Proceed) return false;
    return applyRemovals(decision.removals, silent, rebootRequired);
}

}  // namespace

bool UninstallPLNOrTBXIfSameVersionExists(bool silent, bool* rebootRequired) {
    // Nothing may escape to the driver; an unexpected failure leaves the machine's state unknown, so stop.
    try {
        return removeSameVersionInstalls(silent, rebootRequired);
    } catch (const std::exception& e) {
        logCaughtException(TBX_HERE, e);
    } catch (...) {
        logUnknownException(TBX_HERE);
    }
    return false;
}

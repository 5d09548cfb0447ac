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
#include "platform/window_station.h"
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

void showNewerBuildMessage() {
    HMODULE launcher = GetModuleHandleA(nullptr);
    std::string text = StringResource(IDS_NEWER_BUILD_TEXT, launcher).string();
    std::string caption = StringResource(IDS_NEWER_BUILD_CAPTION, launcher).string();
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR);
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

DWORD uninstallProductCode(const std::string& code, bool silent) {
    char arguments[2048];
    if (!formatInto(arguments, silent ? " /x %s /qn%s" : " /x %s /qb!%s", code.c_str(), kSuppressRebootArgument))
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

bool removeSameVersionInstalls(bool silent, bool* rebootRequired) {
    const int arch = installArch();
    char kitKey[2048];
    char runtimeKey[2048];
    formatInto(kitKey, "%s\\%s", zoltkeys::kitRoot, buildconstants::productVersion);
    formatInto(runtimeKey, "%s\\%s", zoltkeys::runtimeRoot, buildconstants::productVersion);

    if (!keyOpens(kitKey, arch)) {
        TBX_LOG_AS(kRemovalName, LOG_INFO, "No same version TBX exists");
    } else if (!IsSameOrOlderBuildInstalled(true)) {
        if (mayShowBox(silent)) showNewerBuildMessage();
        return false;
    } else if (!UninstallExistingTBX(silent, rebootRequired)) {
        TBX_LOG_AS(kRemovalName, LOG_ERROR, tstrings::format("UninstallExistingTBX (%s) failed", kitKey));
        return false;
    }

    if (!keyOpens(runtimeKey, arch)) {
        TBX_LOG_AS(kRemovalName, LOG_INFO, "No same version PLN exists");
    } else if (IsSameOrOlderBuildInstalled(false) && !IsVersionStatic(arch == 64)) {
        const int exitCode = static_cast<int>(CheckGUIDAndUninstall(arch, arch == 64, silent));
        if (!engineSucceeded(exitCode)) {
            TBX_LOG_AS(kRemovalName, LOG_ERROR,
                       tstrings::format("UninstallPLNIfSameOrOlderBuild( %s) failed", runtimeKey));
            return false;
        }
        if (rebootRequired && exitCode == kExitEngineRebootRequired) *rebootRequired = true;
    }
    return true;
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

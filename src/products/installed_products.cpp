// Reading the registered kits and runtimes, their versions, homes and install modes.
#include "products/installed_products.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "buildinfo/build_constants.h"
#include "platform/bounded_format.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/registry_key.h"
#include "platform/sysinfo.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"
#include "process/bitness.h"

namespace {

[[noreturn]] void wrongValueError(const char* what, int value) {
    TBX_THROW_AS("`anonymous-namespace'::wrongValueError", std::runtime_error,
                 std::string(what) + ": " + std::to_string(value));
}

const RegistryKey& rootFor(int arch) {
    if (arch == 32) return RegistryKey::localMachine32;
    if (arch == 64) return RegistryKey::localMachine64;
    wrongValueError("unexpected arch", arch);
}

InstalledProduct readProduct(const RegistryKey& family, const std::string& subkey, int type, int arch) {
    RegistryKey versionKey(family, subkey);
    InstalledProduct product;
    product.home = versionKey.queryString("ZoltHome");
    std::string versionText = subkey;
    bool staticMode = false;
    if (RegistryKey::exists(versionKey, "MSI")) {
        RegistryKey msi(versionKey, "MSI");
        std::string fullVersion = msi.queryString("FullVersion", "");
        if (!fullVersion.empty()) versionText = fullVersion;
        staticMode = tstrings::equalsIgnoreCase(msi.queryString("MODE", ""), "S");
    }
    product.isRuntime = type == 0;
    product.arch = arch;
    product.name = type == 0 ? "pln" : "tbx";
    product.isStatic = type == 0 ? staticMode : true;
    product.version = ZoltVersionDetails(versionText);
    return product;
}

}  // namespace

void ZoltEnvironment::detectZolt(InstalledProducts& out, int type, int arch) {
    if (type != 0 && type != 1) wrongValueError("unexpected type", type);
    const RegistryKey& root = rootFor(arch);
    const char* familyPath = type == 0 ? zoltkeys::runtimeRoot : zoltkeys::kitRoot;
    if (!RegistryKey::exists(root, familyPath)) return;
    RegistryKey family(root, familyPath);
    for (const std::string& subkey : family.enumSubkeys()) {
        // Family keys such as a bare "1.9" hold no install.
        if (subkey.size() <= 3) continue;
        try {
            out.push_back(readProduct(family, subkey, type, arch));
        } catch (const std::exception& e) {
            logCaughtException(TBX_HERE_AS("`anonymous-namespace'::detectZolt"), e);
        } catch (...) {
            logUnknownException(TBX_HERE_AS("`anonymous-namespace'::detectZolt"));
        }
    }
}

InstalledProducts ZoltEnvironment::collectInstalled(unsigned flags) {
    InstalledProducts products;
    if (flags & view32) {
        if (flags & runtimes) detectZolt(products, 0, 32);
        if (flags & kits) detectZolt(products, 1, 32);
    }
    if ((flags & view64) && SysInfo::isNative64Bit()) {
        if (flags & runtimes) detectZolt(products, 0, 64);
        if (flags & kits) detectZolt(products, 1, 64);
    }
    return products;
}

InstalledProducts ZoltEnvironment::installedPln(int arch) {
    if (arch == 32) return collectInstalled(view32 | runtimes);
    if (arch == 64) return collectInstalled(view64 | runtimes);
    TBX_THROW(std::runtime_error, "unexpected arch: " + std::to_string(arch));
}

std::optional<InstalledProduct> ZoltEnvironment::findSameVersion(const InstalledProducts& products,
                                                                 const std::string& versionText) {
    ZoltVersionDetails wanted(versionText);
    for (const InstalledProduct& product : products)
        if (product.version.equalsIgnoringBuild(wanted)) return product;
    return std::nullopt;
}

int installArch() { return Is32BitEnvironment() ? 32 : 64; }

bool IsVersionStatic(bool is64) {
    std::optional<InstalledProduct> found;
    try {
        found = ZoltEnvironment::findSameVersion(ZoltEnvironment::installedPln(is64 ? 64 : 32),
                                                 buildconstants::productVersion);
    } catch (const std::exception& e) {
        logCaughtException(TBX_HERE_AS("IsVersionStatic"), e);
    }
    if (!found) {
        TBX_LOG_AS("IsVersionStatic", LOG_ERROR, std::string("cannot find PLN: ") + buildconstants::productVersion);
        return false;
    }
    return found->isStatic;
}

bool IsSameOrOlderBuildInstalled(bool isKit) {
    char keyPath[2048];
    if (!formatInto(keyPath, "%s\\%s", isKit ? zoltkeys::kitRoot : zoltkeys::runtimeRoot,
                    buildconstants::productVersion))
        return false;
    REGSAM view = installArch() == 32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    RegistryKey key;
    LONG result = key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_READ | view);
    if (result != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(result));
        TBX_LOG(LOG_ERROR, tstrings::format("Error Opening registry key %s: %d", keyPath,
                                            static_cast<int>(GetLastError())));
        return false;
    }
    DWORD size = 0;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    result = RegQueryValueExA(key.get(), "BuildNumber", nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        data.resize(size);
        result =
            RegQueryValueExA(key.get(), "BuildNumber", nullptr, &type, data.empty() ? nullptr : data.data(), &size);
    }
    if (result != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(result));
        TBX_LOG(LOG_ERROR, tstrings::format("ZoltKey.QueryValue(BuildNumber, Value); failed: %d",
                                            static_cast<int>(GetLastError())));
        return false;
    }
    // Whatever the stored type, the bytes are read as text; an oversized value is cut to the buffer.
    char text[2048] = {};
    std::memcpy(text, data.data(), std::min<size_t>(std::min<size_t>(size, data.size()), sizeof text - 1));
    int existing = static_cast<int>(std::strtol(text, nullptr, 10));
    if (existing <= buildconstants::buildNumber) {
        TBX_LOG(LOG_INFO, tstrings::format("Existing build: %d is same/older than current build: %d", existing,
                                           buildconstants::buildNumber));
        return true;
    }
    TBX_LOG(LOG_INFO, tstrings::format("Existing build: %d is newer than current build: %d", existing,
                                       buildconstants::buildNumber));
    return false;
}

// Discovery of the kits and runtimes registered on this machine, and the build of this version that is installed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/version_details.h"

// One registered kit (TBX) or runtime (PLN).
struct InstalledProduct {
    bool isRuntime = false;
    int arch = 0;  // 32 or 64: the registry view it was found in
    const char* name = "";
    ZoltVersionDetails version;
    std::string home;
    bool isStatic = false;
};

using InstalledProducts = std::vector<InstalledProduct>;

// Registry locations below HKEY_LOCAL_MACHINE.
namespace zoltkeys {
constexpr const char* productRoot = "SOFTWARE\\Zoltsys";
constexpr const char* kitRoot = "SOFTWARE\\Zoltsys\\Zolt Development Kit";
constexpr const char* runtimeRoot = "SOFTWARE\\Zoltsys\\Zolt Runtime Environment";
constexpr const char* autoUpdate = "SOFTWARE\\Zoltsys\\Auto Update";
}  // namespace zoltkeys

namespace ZoltEnvironment {

enum : unsigned {
    runtimes = 0x01,
    kits = 0x02,
    view32 = 0x10,
    view64 = 0x20,  // searched only on a 64-bit processor
};

// The runtimes registered in the 32- or 64-bit view; any other arch throws.
InstalledProducts installedPln(int arch);
// Searches 32-bit runtimes, 32-bit kits, 64-bit runtimes, 64-bit kits, as `flags` select.
InstalledProducts collectInstalled(unsigned flags);
// Appends the products of one kind (0 runtime, 1 kit) in one view (32 or 64); a bad entry is logged and skipped.
void detectZolt(InstalledProducts& out, int type, int arch);
// The first product whose version equals `versionText` whatever its build; parse errors propagate.
std::optional<InstalledProduct> findSameVersion(const InstalledProducts& products, const std::string& versionText);

}  // namespace ZoltEnvironment

// 32 when Is32BitEnvironment, else 64: the registry view and the architecture digits of product codes.
int installArch();

// Whether the runtime of this version registered in that view is a static (side-by-side) install.
bool IsVersionStatic(bool is64);
// Whether the registered kit (or runtime) of this version has this installer's build or an older one;
// false when its key or build cannot be read.
bool IsSameOrOlderBuildInstalled(bool isKit);

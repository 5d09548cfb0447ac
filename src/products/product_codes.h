// The product codes of kits and runtimes, computed from their version and architecture.
#pragma once

#include <string>

namespace zscrub {
class ZCleaner {
public:
    // The runtime's product code for `versionText` (32 or 64 bit); versions below 1.4.2 and parse errors throw.
    static std::string getProductGUID(const std::string& versionText, int arch);
};
}  // namespace zscrub

// The kit's product code for a short product version (major.minor.micro_update).
std::string kitProductCode(const std::string& productVersion, bool is32);

// The auto-update component's fixed product code.
constexpr const char* kAutoUpdateProductCode = "{6E15A28C-3B7D-4C91-8A6E-2D49F0B7C35A}";

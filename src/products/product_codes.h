// The product codes of kits and runtimes, computed from their version and architecture.
#pragma once

#include <string>

#include "products/kit_product_code.h"

namespace zscrub {
class ZCleaner {
public:
    // The runtime's product code for `versionText` (32 or 64 bit); versions below 1.4.2 and parse errors throw.
    static std::string getProductGUID(const std::string& versionText, int arch);
};
}  // namespace zscrub

// The fixed product-code patterns that every release of the product family follows.
#include "products/product_codes.h"

#include <cstdio>

#include "platform/bounded_format.h"
#include "platform/errors.h"
#include "platform/version_details.h"

std::string zscrub::ZCleaner::getProductGUID(const std::string& versionText, int arch) {
    ZoltVersionDetails version(versionText);
    const std::string archText = std::to_string(arch);
    const int update = version.components[ZoltVersionDetails::update];
    const bool beforeNewPattern = version < ZoltVersionDetails("1.6.0_10");

    std::string prefix;
    if (version < ZoltVersionDetails("1.4.2"))
        TBX_THROW(std::runtime_error, "Zolt version less than 1.4.2 is not supported");
    if (version < ZoltVersionDetails("1.5.0"))
        prefix = "5C29E3B1-7A40-12E8-B96D-00C1E2";
    else if (beforeNewPattern)
        prefix = archText + "29E3B1-7A40-12E8-B96D-00C1E2";
    else if (update > 99)
        prefix = "3B85D1C7-2E6A-4F19-9C3D-4A" + archText;
    else if (version.components[ZoltVersionDetails::minor] == 7 && update >= 60 && update <= 71)
        prefix = "3B85D1C7-2E6A-4F19-9C3D-4A0" + archText;
    else
        prefix = "3B85D1C7-2E6A-4F19-9C3D-4A8" + archText;

    char numbers[64];
    formatInto(numbers, "%d%d%d%02d", version.components[ZoltVersionDetails::major],
               version.components[ZoltVersionDetails::minor], version.components[ZoltVersionDetails::micro], update);
    return "{" + prefix + numbers + (beforeNewPattern ? "0" : "F0") + "}";
}

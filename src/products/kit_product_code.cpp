// The kit's product code, built from the text of the product version.
#include "products/kit_product_code.h"

std::string kitProductCode(const std::string& productVersion, bool is32) {
    std::string minor;
    size_t firstDot = productVersion.find('.');
    if (firstDot != std::string::npos) {
        size_t secondDot = productVersion.find('.', firstDot + 1);
        minor = productVersion.substr(firstDot + 1,
                                      secondDot == std::string::npos ? std::string::npos : secondDot - firstDot - 1);
    }
    size_t underscore = productVersion.rfind('_');
    std::string update = underscore == std::string::npos ? "00" : productVersion.substr(underscore + 1);
    return "{" + std::string(is32 ? "32" : "64") + "D7B2E9-C461-14F3-B95C-00A6C07" + minor + "0" + update + "0}";
}

// The build constants of this launcher under C++ names.
#pragma once

#include "tbx_build_constants.h"

namespace buildconstants {
// The kit's product word, used in folder and database names.
constexpr const char* kitProductWord = "tbx";
constexpr const char* productVersion = TBX_PRODUCT_VERSION;
constexpr const char* fullVersion = TBX_FULL_VERSION;
constexpr int buildNumber = TBX_BUILD_NUMBER;
constexpr int productFamilyNumber = TBX_FAMILY_NUMBER;
constexpr const char* versionMajor = TBX_VERSION_MAJOR;
constexpr const char* versionMinor = TBX_VERSION_MINOR;
constexpr const char* versionMicro = TBX_VERSION_MICRO;
constexpr const char* versionUpdate = TBX_VERSION_UPDATE;
constexpr const char* autoUpdateVersion = TBX_AU_VERSION;
constexpr const char* autoUpdateBaselineVersion = TBX_AU_BASELINE_VERSION;
}  // namespace buildconstants

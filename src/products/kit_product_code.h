// The kit's and the auto-update component's product codes: plain text rules with no Windows dependency, so
// that the release checks can build them natively and compare a real kit database against them.
#pragma once

#include <string>

// The kit's product code for a short product version (major.minor.micro_update).
std::string kitProductCode(const std::string& productVersion, bool is32);

// The auto-update component's fixed product code.
constexpr const char* kAutoUpdateProductCode = "{6E15A28C-3B7D-4C91-8A6E-2D49F0B7C35A}";

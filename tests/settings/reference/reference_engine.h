// The settings load path as it was before its speed-up, behind the same call table as the engine, so that
// the differential test can run one input through both. Test code only.
#pragma once

#include "settings/settings_api.h"

namespace settings_reference {

settings::settings_api getReferenceSettingsApi();

}  // namespace settings_reference

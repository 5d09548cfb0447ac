#include "launcher/per_user_layout.h"

#include "buildinfo/build_constants.h"

namespace perUserLayout {

std::string legacyKitPayloadFolderName(bool is64) {
    return std::string(buildconstants::kitProductWord) + buildconstants::productVersion + (is64 ? "_x64" : "");
}

std::string guardFlagPath(const std::string& userDataFolder) {
    return userDataFolder + "\\" + kMakerFolder + "\\" + kProductFolder + "\\" + kGuardFlagName;
}

}  // namespace perUserLayout

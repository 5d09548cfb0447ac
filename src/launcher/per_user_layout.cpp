#include "launcher/per_user_layout.h"

namespace perUserLayout {

std::string guardFlagPath(const std::string& userDataFolder) {
    return userDataFolder + "\\" + kMakerFolder + "\\" + kProductFolder + "\\" + kGuardFlagName;
}

}  // namespace perUserLayout

#include "launcher/per_user_layout.h"

#include "buildinfo/build_constants.h"

namespace perUserLayout {

namespace {

std::string productFolderPath(const std::string& userDataFolder) {
    return userDataFolder + "\\" + kMakerFolder + "\\" + kProductFolder;
}

}  // namespace

std::string kitFolderName(bool is64) {
    return std::string(buildconstants::kitProductWord) + buildconstants::productVersion + (is64 ? "_x64" : "");
}

std::string kitDatabaseName() {
    return std::string(buildconstants::kitProductWord) + buildconstants::productVersion + ".msi";
}

std::string guardFlagPath(const std::string& userDataFolder) {
    return productFolderPath(userDataFolder) + "\\" + kGuardFlagName;
}

std::string kitFolderPath(const std::string& userDataFolder, bool is64) {
    return productFolderPath(userDataFolder) + "\\" + kitFolderName(is64);
}

std::string kitDatabasePath(const std::string& userDataFolder, bool is64) {
    return kitFolderPath(userDataFolder, is64) + "\\" + kitDatabaseName();
}

}  // namespace perUserLayout

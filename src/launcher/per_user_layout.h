// The names of the folders and files below the per-user data folder, in one place: the probe builds its path
// from them without touching the disk, and PerUserPaths makes and holds the same folders.
#pragma once

#include <string>

namespace perUserLayout {

constexpr const char* kMakerFolder = "Lumo";
constexpr const char* kProductFolder = "Zolt";
constexpr const char* kGuardFlagName = "ZOLT_INSTALL_FLAG";

// Where launchers before the package cache wrote their payload in each account that ran them: the kit's files
// in a folder of this version beside the guard flag, the auto-update database below the settings maker's name.
std::string legacyKitPayloadFolderName(bool is64);
constexpr const char* kLegacyAutoUpdateMaker = "Vantrel";
constexpr const char* kLegacyAutoUpdateFolder = "AU";

// The guard flag's whole path below `userDataFolder`, for a probe; nothing here makes a folder.
std::string guardFlagPath(const std::string& userDataFolder);

}  // namespace perUserLayout

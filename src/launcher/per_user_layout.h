// The names of the folders and files below the per-user data folder, in one place: the plan builds its paths
// from them without touching the disk, and PerUserPaths makes and holds the same folders.
#pragma once

#include <string>

namespace perUserLayout {

constexpr const char* kMakerFolder = "Lumo";
constexpr const char* kProductFolder = "Zolt";
constexpr const char* kGuardFlagName = "ZOLT_INSTALL_FLAG";

// The kit's own folder below the product folder, one per bitness, and its database's file name.
std::string kitFolderName(bool is64);
std::string kitDatabaseName();

// Whole paths below `userDataFolder`, for a plan and a probe; nothing here makes a folder.
std::string guardFlagPath(const std::string& userDataFolder);
std::string kitFolderPath(const std::string& userDataFolder, bool is64);
std::string kitDatabasePath(const std::string& userDataFolder, bool is64);

}  // namespace perUserLayout

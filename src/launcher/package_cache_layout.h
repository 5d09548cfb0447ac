// The names of the per-machine package cache and of the payload files in it, in one place: the plan builds its
// paths from them without touching the disk, and PackageCache makes, fills and holds the same folders.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace packageCacheLayout {

// Below the common application data folder: <maker>\<cache>\<kit product code>\<build>\<run>.
constexpr const char* kMakerFolder = "Zoltsys";
constexpr const char* kCacheFolder = "Package Cache";

// One payload file: the resource it is written from and its name in the run's folder.
struct PayloadFile {
    const char* type;
    WORD id;
    std::string name;
};

// In the order they are written: the kit database, its four cabinets, the auto-update database.
std::vector<PayloadFile> payloadFiles();
std::string kitDatabaseName();
std::string autoUpdateDatabaseName();

// The folder of this product's builds (named by the kit's product code, which differs by bitness) and of this
// build, and the names below the common application data folder down to a run's folder.
std::string productFolderName(bool is64);
std::string buildFolderName();
std::vector<std::string> folderNames(bool is64, const std::string& runName);

// Whole paths below `programData`, for a plan; nothing here makes a folder.
std::string productFolderPath(const std::string& programData, bool is64);
std::string runFolderPath(const std::string& programData, bool is64, const std::string& runName);

}  // namespace packageCacheLayout

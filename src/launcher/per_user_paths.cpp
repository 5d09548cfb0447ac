// The layout of the per-user folders, in one place.
#include "launcher/per_user_paths.h"

#include <string>

#include "launcher/payload_folders.h"
#include "launcher/per_user_layout.h"
#include "platform/bounded_format.h"
#include "platform/logger.h"

namespace {

// The guard's own record of a folder it could not make; `code` is 0 when only a join failed.
void logFlagFolderFailure(const char* pathSoFar, DWORD code) {
    char message[2048];
    formatInto(message, "Fail to create directory %s, ErrorCode is %d", pathSoFar, static_cast<int>(code));
    logit(message);
}

}  // namespace

DWORD PerUserPaths::locate() { return GetUserDataFolderChecked(userData); }

bool PerUserPaths::guardFlag(char (&path)[MAX_PATH]) const {
    using namespace perUserLayout;
    char maker[MAX_PATH];
    char product[MAX_PATH];
    if (!formatInto(maker, "%s\\%s\\", userData, kMakerFolder)) {
        logFlagFolderFailure(userData, 0);
        return false;
    }
    if (!formatInto(product, "%s%s\\", maker, kProductFolder)) {
        logFlagFolderFailure(maker, 0);
        return false;
    }
    const ChainLink chain[] = {
        {kMakerFolder, FolderRole::Shared, &logFlagFolderFailure},
        {kProductFolder, FolderRole::Shared, &logFlagFolderFailure},
    };
    if (!holdFolderChain(*holds, userData, chain, "GetInstallFlagPath")) return false;
    if (!formatInto(path, "%s%s", product, kGuardFlagName)) {
        logFlagFolderFailure(product, 0);
        return false;
    }
    return true;
}

bool PerUserPaths::kitFolder(char (&folder)[kPayloadPathSize], bool is64, const char* function) const {
    using namespace perUserLayout;
    const std::string leaf = kitFolderName(is64);
    if (!formatInto(folder, "%s\\%s\\%s\\%s", userData, kMakerFolder, kProductFolder, leaf.c_str())) return false;
    const ChainLink chain[] = {
        {kMakerFolder, FolderRole::Shared, nullptr},
        {kProductFolder, FolderRole::Shared, nullptr},
        {leaf.c_str(), FolderRole::Leaf, nullptr},
    };
    return holdFolderChain(*holds, userData, chain, function);
}

bool PerUserPaths::kitDatabase(char (&path)[kPayloadPathSize], bool is64) const {
    char folder[kPayloadPathSize];
    if (!kitFolder(folder, is64, "GetMsiPath") ||
        !formatInto(path, "%s\\%s", folder, perUserLayout::kitDatabaseName().c_str())) {
        if (!holds->tampered()) TBX_LOG_AS("GetMsiPath", LOG_ERROR, "The kit database path does not fit its buffer.");
        return false;
    }
    return true;
}

bool PerUserPaths::cabinet(char (&path)[kPayloadPathSize], const char* baseName, bool is64) const {
    char folder[kPayloadPathSize];
    if (!kitFolder(folder, is64, "GetCabPath") || !formatInto(path, "%s\\%s.cab", folder, baseName)) {
        if (!holds->tampered())
            TBX_LOG_AS("GetCabPath", LOG_ERROR, std::string("The cabinet path does not fit its buffer: ") + baseName);
        return false;
    }
    return true;
}

bool PerUserPaths::autoUpdateDatabase(char (&path)[kAutoUpdatePathSize]) const {
    if (!formatInto(path, "%s\\Vantrel\\Zolt\\AU\\au.msi", userData)) {
        TBX_LOG_AS("ExtractAutoUpdateMsi", LOG_ERROR, "The auto-update database path does not fit its buffer.");
        return false;
    }
    const ChainLink chain[] = {
        {"Vantrel", FolderRole::Shared,
         [](const char*, DWORD) { logit("Can not create the Vantrel directory to extract installer files. \n"); }},
        {"Zolt", FolderRole::Shared,
         [](const char*, DWORD) { logit("Can not create the Zolt directory to extract installer files. \n"); }},
        {"AU", FolderRole::Leaf,
         [](const char*, DWORD) { logit("Can not create the AU directory to extract installer files. \n"); }},
    };
    return holdFolderChain(*holds, userData, chain, "ExtractAutoUpdateMsi");
}

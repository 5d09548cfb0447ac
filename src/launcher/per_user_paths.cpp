// The layout of the per-user folders, in one place.
#include "launcher/per_user_paths.h"

#include <string>

#include "buildinfo/build_constants.h"
#include "launcher/payload_folders.h"
#include "platform/bounded_format.h"
#include "platform/logger.h"

namespace {

// Logs why a folder of a chain could not be made.
using CreationFailure = void (*)(const char* folder, DWORD code);

// One folder of a chain: made here when `failure` is given (holdPayloadFolder makes the others), then held.
struct ChainFolder {
    const char* path;
    FolderRole role;
    CreationFailure failure;
};

// The guard's own record of a folder it could not make; `code` is 0 when only a join failed.
void logFlagFolderFailure(const char* pathSoFar, DWORD code) {
    char message[2048];
    formatInto(message, "Fail to create directory %s, ErrorCode is %d", pathSoFar, static_cast<int>(code));
    logit(message);
}

template <size_t N>
bool holdChain(RunHolds& holds, const ChainFolder (&chain)[N], const char* function) {
    for (const ChainFolder& folder : chain) {
        if (folder.failure && !CreateDirectoryA(folder.path, nullptr)) {
            const DWORD code = GetLastError();
            if (code != ERROR_ALREADY_EXISTS) {
                folder.failure(folder.path, code);
                return false;
            }
        }
        if (!holdPayloadFolder(holds, folder.path, folder.role, function)) return false;
    }
    return true;
}

}  // namespace

DWORD PerUserPaths::locate() { return GetUserDataFolderChecked(userData); }

bool PerUserPaths::guardFlag(char (&path)[MAX_PATH]) const {
    char lumo[MAX_PATH];
    char zolt[MAX_PATH];
    if (!formatInto(lumo, "%s\\Lumo\\", userData)) {
        logFlagFolderFailure(userData, 0);
        return false;
    }
    if (!formatInto(zolt, "%sZolt\\", lumo)) {
        logFlagFolderFailure(lumo, 0);
        return false;
    }
    const ChainFolder chain[] = {
        {userData, FolderRole::Shared, nullptr},
        {lumo, FolderRole::Shared, &logFlagFolderFailure},
        {zolt, FolderRole::Shared, &logFlagFolderFailure},
    };
    if (!holdChain(*holds, chain, "GetInstallFlagPath")) return false;
    if (!formatInto(path, "%sZOLT_INSTALL_FLAG", zolt)) {
        logFlagFolderFailure(zolt, 0);
        return false;
    }
    return true;
}

bool PerUserPaths::kitFolder(char (&folder)[kPayloadPathSize], bool is64, const char* function) const {
    char lumo[kPayloadPathSize];
    char zolt[kPayloadPathSize];
    if (!formatInto(lumo, "%s\\Lumo\\", userData) || !formatInto(zolt, "%sZolt\\", lumo)) return false;
    const bool fits = formatInto(folder, "%s%s%s%s", zolt, buildconstants::kitProductWord,
                                 buildconstants::productVersion, is64 ? "_x64" : "");
    if (!fits) return false;
    const ChainFolder chain[] = {
        {userData, FolderRole::Shared, nullptr},
        {lumo, FolderRole::Shared, nullptr},
        {zolt, FolderRole::Shared, nullptr},
        {folder, FolderRole::Leaf, nullptr},
    };
    return holdChain(*holds, chain, function);
}

bool PerUserPaths::kitDatabase(char (&path)[kPayloadPathSize], bool is64) const {
    char folder[kPayloadPathSize];
    if (!kitFolder(folder, is64, "GetMsiPath") ||
        !formatInto(path, "%s\\%s%s.msi", folder, buildconstants::kitProductWord, buildconstants::productVersion)) {
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
    char vantrel[kAutoUpdatePathSize];
    char zolt[kAutoUpdatePathSize];
    char au[kAutoUpdatePathSize];
    if (!formatInto(vantrel, "%s\\Vantrel\\", userData) || !formatInto(zolt, "%sZolt\\", vantrel) ||
        !formatInto(au, "%sAU\\", zolt) || !formatInto(path, "%sau.msi", au)) {
        TBX_LOG_AS("ExtractAutoUpdateMsi", LOG_ERROR, "The auto-update database path does not fit its buffer.");
        return false;
    }
    const ChainFolder chain[] = {
        {userData, FolderRole::Shared, nullptr},
        {vantrel, FolderRole::Shared,
         [](const char*, DWORD) { logit("Can not create the Vantrel directory to extract installer files. \n"); }},
        {zolt, FolderRole::Shared,
         [](const char*, DWORD) { logit("Can not create the Zolt directory to extract installer files. \n"); }},
        {au, FolderRole::Leaf,
         [](const char*, DWORD) { logit("Can not create the AU directory to extract installer files. \n"); }},
    };
    return holdChain(*holds, chain, "ExtractAutoUpdateMsi");
}

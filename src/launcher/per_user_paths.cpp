// The guard flag's per-user folders, made and held.
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

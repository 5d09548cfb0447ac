// The auto-update step after a kit installation: save the policy, replace the component, restore, register.
#include "products/auto_update.h"

#include <string>

#include "buildinfo/build_constants.h"
#include "platform/bounded_format.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/sysinfo.h"
#include "platform/version_details.h"
#include "process/engine_result.h"
#include "process/executor.h"
#include "process/msiexec_path.h"
#include "products/auto_update_version.h"
#include "products/product_codes.h"
#include "updatepolicy/au_config.h"

namespace {

// The policy of the installed component, held while the component is replaced.
struct SavedPolicy {
    au::Schedule schedule = au::Schedule::randomDefault();
    bool scheduleSaved = false;
    int notifyType = au::Config::notifyBeforeDownload;
};

void readInstalledPolicy(SavedPolicy& saved) {
    au::Config config(IsAUOlderThanBaseline() ? au::RegDataStore::oldLayout : au::RegDataStore::currentLayout);
    saved.schedule = config.getSchedule(&saved.scheduleSaved);
    if (!saved.scheduleSaved) TBX_LOG_AS("InstallAutoUpdate", LOG_WARNING, "Failed to get existing AU schedule setting.");
    saved.notifyType = config.getNotifyType();
}

// A failed restore leaves the new component with its defaults; the step goes on.
void writePolicy(const SavedPolicy& saved) {
    try {
        au::Config config(au::RegDataStore::currentLayout);
        if (saved.scheduleSaved) config.setSchedule(saved.schedule);
        config.setNotifyType(saved.notifyType);
    } catch (const std::exception& e) {
        logCaughtException(TBX_HERE_AS("InstallAutoUpdate"), e);
    } catch (...) {
        logUnknownException(TBX_HERE_AS("InstallAutoUpdate"));
    }
}

int registerWithScheduler() {
    try {
        const std::string path = SysInfo::getProgramFilesCommonX86Dir() + "\\Zolt\\Zolt Update\\zaureg.exe";
        // The path is quoted so that the tool's own argument parsing sees "-r" first, spaces or not.
        const std::string arguments = "\"" + path + "\" -r pln " + buildconstants::fullVersion;
        return Executor::ExecProcessWaitForFinish(path, arguments, 1) == 0 ? 0 : -3;
    } catch (const std::exception& e) {
        logCaughtException(TBX_HERE_AS("InstallAutoUpdate"), e);
    } catch (...) {
        logUnknownException(TBX_HERE_AS("InstallAutoUpdate"));
    }
    return -4;
}

// `command` with the engine's log switch for `package` when it still fits the command's buffer of `bufferSize`;
// without it (after a WARNING) when not: the log is worth less than the component.
template <size_t bufferSize>
std::string withEngineLog(const char (&command)[bufferSize], EngineLogs* logs, const char* package) {
    if (!logs) return command;
    const std::string logged = command + logs->switchFor(package);
    if (logged.size() < bufferSize) return logged;
    TBX_LOG_AS("InstallAutoUpdate", LOG_WARNING,
               "The auto-update command with its engine log does not fit its buffer; it runs without the log.");
    return command;
}

}  // namespace

bool IsAUOlderThanBaseline() {
    char installed[2048];
    if (!readAUVersion(installed)) {
        TBX_LOG(LOG_INFO, "Failed to determine AU version. Most probably there is no AU installed");
        return false;
    }
    return VersionDetails::Dotted(installed) < VersionDetails::Dotted(buildconstants::autoUpdateBaselineVersion);
}

DWORD uninstallAutoUpdate(EngineLogs* logs) {
    char engine[2048] = "";
    GetMsiexecPath(engine, sizeof engine);
    char command[2048 + 64];
    if (!formatInto(command, "\"%s\" /x %s /qn%s", engine, kAutoUpdateProductCode, kSuppressRebootArgument))
        return kAutoUpdateCommandTooLong;
    return Executor::ExecProcessWithAtlMessageLoop(engine, withEngineLog(command, logs, "auto-update-removal"));
}

int InstallAutoUpdate(const char* msiPath, bool enabled, EngineLogs* logs) {
    char engine[MAX_PATH] = "";
    if (!GetMsiexecPath(engine, sizeof engine)) {
        logit("Error: InstallAutoUpdate(), couldn't find WIPath");
        return kExitEngineNotFound;
    }
    if (!isAUUpgradeNeeded()) {
        logit("AU is not upgradable - Installed version >= the bundled version.\n");
        return -2;
    }
    // The design's command buffer holds 259 characters. A longer command is refused, never cut, and before
    // the installed component is removed, so that a refusal loses nothing.
    char command[MAX_PATH];
    // DISABLE=1 stands apart from the quoted path: every parser of the engine's command line reads it the same way.
    const bool fits = formatInto(command,
                                 enabled ? "\"%s\" /i \"%s\" ALLUSERS=1 /qn%s"
                                         : "\"%s\" /i \"%s\" DISABLE=1 ALLUSERS=1 /qn%s",
                                 engine, msiPath, kSuppressRebootArgument);
    if (!fits) {
        TBX_LOG_AS("InstallAutoUpdate", LOG_ERROR, "The auto-update install command does not fit its buffer; not run.");
        return kAutoUpdateCommandTooLong;
    }

    const bool older = isOwnAUNewer();
    SavedPolicy saved;
    if (older) readInstalledPolicy(saved);

    if (isOwnAUNewer()) uninstallAutoUpdate(logs);

    logit(enabled ? "Auto Update is enabled" : "Auto Update is disabled via configuration settings");
    const int exitCode =
        static_cast<int>(Executor::ExecProcessWithAtlMessageLoop(engine, withEngineLog(command, logs, "auto-update")));
    // 3010: installed, the restart is left to whoever restarts the machine for the kit.
    if (!engineSucceeded(exitCode)) {
        logit("Auto Update install failed");
        return exitCode;
    }

    if (older) writePolicy(saved);
    return registerWithScheduler();
}

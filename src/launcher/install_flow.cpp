// The installation run: configuration, guard, extraction, engine runs, public runtime, auto-update.
#include "launcher/install_flow.h"

#include <cstring>
#include <string>

#include "buildinfo/build_constants.h"
#include "buildinfo/payload_resources.h"
#include "installconfig/install_config_data.h"
#include "launcher/cabinet_writer.h"
#include "launcher/install_command.h"
#include "launcher/cab_event.h"
#include "launcher/escaped_exception.h"
#include "launcher/install_guard.h"
#include "launcher/payload.h"
#include "launcher/payload_lock.h"
#include "launcher/public_runtime.h"
#include "launcher/tampering.h"
#include "platform/bounded_format.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/resources.h"
#include "platform/sysinfo.h"
#include "platform/tstrings.h"
#include "platform/ui_locale.h"
#include "platform/win_handles.h"
#include "process/engine_result.h"
#include "process/executor.h"
#include "process/msiexec_path.h"
#include "products/removal.h"
#include "products/tbx_home.h"
#include "strings/string_ids.h"

namespace {

constexpr size_t kInstallFlagBufferSize = 512;

// Lives until the process ends, on purpose: the flag file disappears with the process (delete-on-close).
HANDLE guardFlagFile = INVALID_HANDLE_VALUE;

void showInProgressBox(HINSTANCE instance) {
    char caption[256] = "";
    char text[1024] = "";
    LoadStringA(instance, IDS_IN_PROGRESS_CAPTION, caption, sizeof caption);
    LoadStringA(instance, IDS_IN_PROGRESS_TEXT, text, sizeof text);
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONINFORMATION);
}

void warnAboutOldWindows(HINSTANCE instance, bool silent) {
    if (!silent) {
        std::string caption = StringResource(IDS_WARNING_CAPTION, instance).string();
        std::string text = tstrings::format(StringResource(IDS_OLD_WINDOWS_TEXT, instance).string().c_str(),
                                            buildconstants::productFamilyNumber);
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
    }
    logit("This is an unsupported operationg system.");
}

// Copies an option's value into a flow buffer; false (logged) when it does not fit.
bool copyOption(char (&buffer)[kCommandBufferSize], const std::string& value, const char* name) {
    if (!formatInto(buffer, "%s", value.c_str())) {
        TBX_LOG_AS("WinMain", LOG_ERROR, std::string(name) + " does not fit its buffer; refused.");
        return false;
    }
    return true;
}

bool isRuntimeOfThisVersionInstalled() {
    std::string keyPath = std::string("SOFTWARE\\Zoltsys\\Zolt Runtime Environment\\") + buildconstants::productVersion;
    UniqueRegKey key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.receive()) == ERROR_SUCCESS;
}

// The kit's engine run, and once more when the installed product asks for a reinstall. A run after which
// Windows is already restarting is never followed by another.
int runKitEngine(const char* msiexecPath, const char* command) {
    int exitCode = static_cast<int>(Executor::ExecProcessWithAtlMessageLoop(msiexecPath, command));
    if (exitCode == kExitEngineRebootStarted) return exitCode;
    char installStatus[kInstallFlagBufferSize] = "";
    ReadInstallStatus(installStatus, sizeof installStatus);
    if (std::strcmp(installStatus, "reinstall") == 0) {
        ClearInstallStatus();
        exitCode = static_cast<int>(Executor::ExecProcessWithAtlMessageLoop(msiexecPath, command));
    }
    return exitCode;
}

// The auto-update step never decides the run's exit code, also when it fails unexpectedly.
void installAutoUpdateAfterKit(HINSTANCE instance, const InstallConfigData& config) {
    try {
        ExtractAutoUpdateMsi(instance, config.getFlag(FLAG_AUTO_UPDATE));
    } catch (...) {
        logEscapedException(TBX_HERE_AS("WinMain"));
    }
}

void logExitCode(int exitCode) {
    if (Logger::instance().threshold <= LOG_INFO) {
        TBX_LOG_AS("WinMain", LOG_INFO, "Wrapper exit code: " + std::to_string(exitCode));
    }
}

}  // namespace

bool FileExists(const char* path) {
    WIN32_FIND_DATAA data;
    UniqueFind found(FindFirstFileA(path, &data));
    return static_cast<bool>(found);
}

int RunInstallation(HINSTANCE instance, const wchar_t* commandLine) {
    // A log whose name is a link would have this elevated process append to someone else's file: stop
    // before the first record.
    if (logFileUnsafe(Logger::instance())) return kExitTampered;
    SetDllDirectoryA("");
    WORD langId = Locale::fromUserPreferences().langId();
    const bool is64 = !Is32BitEnvironment();

    InstallConfigData config(instance);
    if (config.LoadConfigSettings(commandLine) != 0) {
        logit("Error occurred while loading configuration settings. Exiting installer.");
        return kExitConfigurationRefused;
    }
    const bool silent = config.isSilent();
    setSilentRun(silent);

    // Every per-user path of the run (payload, guard flag) is built from this folder; without it nothing runs.
    char userData[kUserDataFolderSize] = "";
    if (const DWORD error = GetUserDataFolderChecked(userData)) return static_cast<int>(error);

    if (config.isOptionSet("/lang")) {
        try {
            langId = Locale::fromLangId(static_cast<uint16_t>(config.getLanguageId())).langId();
        } catch (const std::exception& e) {
            logCaughtException(TBX_HERE_AS("WinMain"), e);
        } catch (...) {
            logUnknownException(TBX_HERE_AS("WinMain"));
        }
    }

    char publicRuntimeDir[kCommandBufferSize] = "";
    char installDir[kCommandBufferSize] = "";
    char installerArguments[kCommandBufferSize] = "";
    if (config.isOptionSet("/INSTALLDIRPUBPLN") &&
        !copyOption(publicRuntimeDir, config.getValueAnsi(VALUE_INSTALLDIRPUBPLN), "/INSTALLDIRPUBPLN"))
        return kExitCommandTooLong;
    if (config.isOptionSet("INSTALLDIR") && !copyOption(installDir, config.getValueAnsi(VALUE_INSTALLDIR), "INSTALLDIR"))
        return kExitCommandTooLong;
    if (config.isOptionSet("MSI_CMDLINE") &&
        !copyOption(installerArguments, config.getValueAnsi(VALUE_MSI_CMDLINE) + " ", "MSI_CMDLINE"))
        return kExitCommandTooLong;
    const bool reallySuppress = config.isOptionSet("REBOOT") && config.getValueAnsi(VALUE_REBOOT) == "ReallySuppress";
    const bool noStartMenu = config.isFlagOn(FLAG_NOSTARTMENU);

    // Guard test: a flag file that cannot be deleted is held by another installation.
    char installFlag[kInstallFlagBufferSize] = "";
    if (!GetInstallFlagPath(installFlag)) {
        if (tamperingDetected()) return kExitTampered;
        logit("Fail to get the file path for Zolt install flag ");
    } else {
        FlagTest flag = TestAndClearInstallFlag(installFlag);
        if (flag == FlagTest::Unsafe) return kExitTampered;
        if (flag == FlagTest::Held) {
            if (!silent) showInProgressBox(instance);
            logit(
                "TBX wrapper: Another Zolt installation is in progress. You must complete that installation "
                "before you can run this installer.");
            return kExitFailed;
        }
    }

    if (SysInfo::osVersionClass() <= WIN_XP) warnAboutOldWindows(instance, silent);

    // Guard set: held, unshared, until the process ends.
    if (!GetInstallFlagPath(installFlag)) {
        if (tamperingDetected()) return kExitTampered;
        logit("Fail to get the file path for Zolt install flag ");
        return kExitFailed;
    }
    // Not through a link someone put in the name's place since the test.
    guardFlagFile = CreateFileA(installFlag, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (guardFlagFile == INVALID_HANDLE_VALUE) {
        logit(tstrings::format("Fail to set installation flag, ErrorCode is %d", static_cast<int>(GetLastError()))
                  .c_str());
        return kExitFailed;
    }

    // Before anything is removed or written: an event someone else made first could be set by them at any time.
    if (!CreateCabExtractEvent()) return kExitFailed;

    // Found before anything is removed: a settings file that cannot be written would otherwise stop the run
    // after the installed kit is gone.
    if (config.checkRuntimeConfigWritable() != 0) {
        logit("Error occurred while exporting configuration settings. Exiting installer.");
        return kExitConfigurationRefused;
    }

    bool removalWantsRestart = false;
    if (!UninstallPLNOrTBXIfSameVersionExists(silent, &removalWantsRestart)) return kExitFailed;

    int exitCode = 1;
    char msiPath[kPayloadPathSize] = "";
    if (!GetMsiPath(msiPath, is64)) return tamperingDetected() ? kExitTampered : kExitPathTooLong;
    HRSRC kitDatabase = FindResourceA(instance, MAKEINTRESOURCEA(TBX_RES_KIT_MSI), TBX_RES_TYPE_INSTALLER);
    if (kitDatabase) {
        WriteResourceToFile(instance, msiPath, kitDatabase);

        char msiexecPath[MAX_PATH] = "";
        if (!GetMsiexecPath(msiexecPath, sizeof msiexecPath)) return kExitEngineNotFound;

        if (silent && !AppendSilentArguments(installerArguments, config.isOptionSet("ADDLOCAL")))
            return kExitCommandTooLong;
        char command[kCommandBufferSize];
        InstallerCommandParts parts{msiexecPath, msiPath,    installerArguments, langId, config.getMsiLogFile(),
                                    installDir,  noStartMenu};
        if (!ComposeInstallerCommand(command, parts)) return kExitCommandTooLong;
        logit(tstrings::format("szTBXExeCommand = %s\n", command).c_str());

        if (config.exportRuntimeConfig() != 0) {
            logit("Error occurred while exporting configuration settings. Exiting installer.");
            return kExitConfigurationRefused;
        }

        CabinetWriter cabinets(instance);
        exitCode = runKitEngine(msiexecPath, command);
        const PayloadWriteResult cabinetResult = cabinets.finish();
        if (!cabinetResult.ok()) {
            // The engine found a cabinet missing and failed; the write's own error tells the admin why.
            if (!engineSucceeded(exitCode)) config.RestoreConfigSettings();
            return reportSystemError(cabinetResult.what, cabinetResult.error);
        }

        if (exitCode == kExitEngineRebootStarted) {
            // Installed, and Windows is restarting: nothing more may run.
            logExitCode(exitCode);
            return exitCode;
        }

        if (!engineSucceeded(exitCode)) {
            logit(tstrings::format("TBX installation failed.  Return Code: %d, ErrorCode: %d", exitCode,
                                   static_cast<int>(GetLastError()))
                      .c_str());
            config.RestoreConfigSettings();
        }

        if (silent && (std::strstr(installerArguments, "PublicplnFeature") ||
                       std::strstr(installerArguments, "ADDLOCAL=ALL") || !std::strstr(installerArguments, "ADDLOCAL")))
            installPublicRuntime(publicRuntimeDir, noStartMenu, reallySuppress);

        if (engineSucceeded(exitCode) && isRuntimeOfThisVersionInstalled()) {
            installAutoUpdateAfterKit(instance, config);
            if (tamperingDetected()) exitCode = kExitTampered;
        }

        // The removal before the install left a restart pending that the kit's own run did not report.
        if (exitCode == 0 && removalWantsRestart) exitCode = kExitEngineRebootRequired;
    }

    // The engine runs that read the payload have ended.
    releaseHeldPayload();
    logExitCode(exitCode);
    return exitCode;
}

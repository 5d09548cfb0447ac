// Checking, running and deleting the public runtime installer through one held handle.
#include "launcher/public_runtime.h"

#include <windows.h>

#include <string>

#include "launcher/install_command.h"
#include "platform/bounded_format.h"
#include "platform/entry_trust.h"
#include "platform/errors.h"
#include "platform/link_check.h"
#include "platform/logger.h"
#include "platform/win_handles.h"
#include "process/executor.h"
#include "products/tbx_home.h"

namespace {

// Records of this step carry the flow's name, as the step always has.
constexpr const char* kStep = "WinMain";

std::string entryTrustProblem(HANDLE entry, EntryKind kind) {
    std::string why = unsafeOpenedEntry(entry, kind);
    if (!why.empty()) return why;
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (DWORD error = readEntrySecurity(entry, descriptor))
        return "its access list cannot be read: " + systemErrorText(error);
    return entryDistrust(descriptor.get(), kind);
}

// "the kit home has 2 names", but "the kit home: its owner ... is not trusted".
std::string joinedReason(const char* what, const std::string& why) {
    return std::string(what) + (why.rfind("its ", 0) == 0 ? ": " : " ") + why;
}

// Why the installer must not run (empty when it may); `installer` holds it, open, when it is there.
std::string checkInstaller(const char* kitHome, UniqueFile& home, UniqueFile& installer) {
    // Without delete sharing, so that neither can be renamed, replaced or removed while held.
    home.reset(CreateFileA(kitHome, READ_CONTROL | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!home) return "the kit home cannot be opened: " + systemErrorText(GetLastError());
    std::string why = entryTrustProblem(home.get(), EntryKind::Folder);
    if (!why.empty()) return joinedReason("the kit home", why);
    why = entryTrustProblem(installer.get(), EntryKind::File);
    if (!why.empty()) return joinedReason("the file", why);
    return std::string();
}

}  // namespace

void installPublicRuntime(const char* publicRuntimeDir, bool noStartMenu, bool reallySuppress, EngineLogs* logs) {
    char kitHome[kCommandBufferSize] = "";
    if (!FindTBXHome(kitHome, sizeof kitHome)) return;
    char installerPath[kCommandBufferSize];
    if (!formatInto(installerPath, "%s\\pln.exe", kitHome)) {
        TBX_LOG_AS(kStep, LOG_ERROR, "The public runtime installer path does not fit its buffer.");
        return;
    }
    // Read and execute for the run, delete for the removal afterwards; others may only read meanwhile.
    UniqueFile installer(CreateFileA(installerPath, GENERIC_READ | GENERIC_EXECUTE | READ_CONTROL | DELETE,
                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!installer) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
        TBX_LOG_AS(kStep, LOG_WARNING,
                   std::string("The public runtime installer ") + installerPath +
                       " is not run and not deleted: it cannot be opened alone (" + systemErrorText(error) + ").");
        return;
    }
    UniqueFile home;
    const std::string why = checkInstaller(kitHome, home, installer);
    if (!why.empty()) {
        TBX_LOG_AS(kStep, LOG_WARNING, std::string("The public runtime installer ") + installerPath +
                                           " is not run and not deleted: " + why + ".");
        return;
    }
    char command[kCommandBufferSize];
    bool ok = formatInto(command, noStartMenu ? "\"%s\" /s LAUNCHEDFROMTBX=1 NOSTARTMENU=1" : "\"%s\" /s LAUNCHEDFROMTBX=1",
                         installerPath);
    if (ok && publicRuntimeDir[0] != '\0') ok = AppendInstallDirArgument(command, publicRuntimeDir);
    if (ok && reallySuppress) ok = appendInto(command, " REBOOT=ReallySuppress");
    if (ok && logs && !appendInto(command, logs->switchFor("runtime").c_str()))
        TBX_LOG_AS(kStep, LOG_WARNING, "The public runtime command with its engine log does not fit its buffer; it runs "
                                       "without the log.");
    // Started by the path that leads to the held file: while it is held nothing else can stand there.
    if (ok)
        Executor::ExecProcessWaitForFinish(installerPath, command, 1);
    else
        TBX_LOG_AS(kStep, LOG_ERROR, "The public runtime command does not fit its buffer; not run.");
    // Deleted through the handle: the file that was checked, whatever its name leads to by now.
    FILE_DISPOSITION_INFO disposition{TRUE};
    SetFileInformationByHandle(installer.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

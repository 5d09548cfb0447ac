// Writing the embedded payload (kit database, cabinets, auto-update database) into the per-user folders.
#include "launcher/payload.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "buildinfo/build_constants.h"
#include "buildinfo/payload_resources.h"
#include "launcher/payload_folders.h"
#include "launcher/payload_lock.h"
#include "launcher/per_user_paths.h"
#include "platform/bounded_format.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/relative_entries.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"
#include "process/exit_codes.h"
#include "products/auto_update.h"

namespace {

constexpr DWORD kWriteChunkSize = 8192;

struct CabinetEntry {
    const char* prefix;
    WORD id;
    const char* type;
};

// The order in which the cabinets are written.
constexpr CabinetEntry kCabinets[] = {
    {"ss", TBX_RES_CAB_SS, "ZOLT_CAB9"},
    {"st", TBX_RES_CAB_ST, "ZOLT_CAB10"},
    {"sj", TBX_RES_CAB_SJ, "ZOLT_CAB7"},
    {"sz", TBX_RES_CAB_SZ, "ZOLT_CAB11"},
};

}  // namespace

bool GetMsiPath(char (&path)[kPayloadPathSize], bool is64) {
    RunHolds holds;
    PerUserPaths paths(holds);
    return paths.locate() == ERROR_SUCCESS && paths.kitDatabase(path, is64);
}

bool GetCabPath(char (&path)[kPayloadPathSize], const char* baseName, bool is64) {
    RunHolds holds;
    PerUserPaths paths(holds);
    return paths.locate() == ERROR_SUCCESS && paths.cabinet(path, baseName, is64);
}

PayloadWriteResult WriteResourceToFile(RunHolds& holds, HMODULE module, const char* path, HRSRC resource,
                                       WriteFileFunction write) {
    DWORD size = SizeofResource(module, resource);
    const char* data = nullptr;
    if (size > 0) {
        HGLOBAL loaded = LoadResource(module, resource);
        data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
        if (!data) return {GetLastError(), "Installer : Wrapper.LoadResource "};
    }
    // Made inside the folder the run made or checked and holds, never found again by its path.
    const std::string whole = path;
    const size_t separator = whole.find_last_of('\\');
    const HANDLE folder = separator == std::string::npos ? nullptr : heldFolder(holds, whole.substr(0, separator));
    if (!folder) return {ERROR_PATH_NOT_FOUND, "Installer : Wrapper.CreateFile "};
    const std::string name = whole.substr(separator + 1);
    UniqueFile file = createPayloadFile(folder, name);
    if (!file) return {GetLastError(), "Installer : Wrapper.CreateFile "};
    // Straight from the mapped resource: a cabinet may be over 100 MB, so no copy is made.
    DWORD done = 0;
    while (done < size) {
        DWORD written = 0;
        DWORD chunk = std::min(size - done, kWriteChunkSize);
        if (!write(file.get(), data + done, chunk, &written, nullptr)) {
            const DWORD error = GetLastError();
            // A cut file must not pass for a complete one; the engine finds it missing and fails on its own.
            setRemoveOnClose(file.get(), true);
            file.reset();
            return {error, "Installer : Wrapper.WriteFile (In small chunks) "};
        }
        done += written;
    }
    if (!CloseHandle(file.release())) {
        const DWORD error = GetLastError();
        deleteRelative(folder, tstrings::toUtf16(name));
        return {error, "Installer : Wrapper.CloseHandle "};
    }
    // From here until the engine has read it, the file must stay exactly what was written; the check reports
    // (and removes) a changed file.
    if (!holdVerifiedPayload(holds, folder, name, whole, data, size))
        return {ERROR_SUCCESS, "Installer : Wrapper.VerifyPayload ", true};
    return {};
}

PayloadWriteResult writeCabinetFiles(const CabinetJob& job) {
    for (const CabinetEntry& cab : kCabinets) {
        char baseName[64];
        char path[kPayloadPathSize];
        formatInto(baseName, "%s%s%s%s%s0", cab.prefix, buildconstants::versionMajor, buildconstants::versionMinor,
                   buildconstants::versionMicro, buildconstants::versionUpdate);
        // A folder of the chain that is not safe was reported; nothing is written there.
        if (!job.paths->cabinet(path, baseName, job.is64)) {
            if (job.paths->heldBy().tampered()) return {ERROR_SUCCESS, "Installer : Wrapper.GetCabPath ", true};
            return {ERROR_FILENAME_EXCED_RANGE, "Installer : Wrapper.GetCabPath "};
        }
        HRSRC resource = FindResourceA(job.module, MAKEINTRESOURCEA(cab.id), cab.type);
        if (!resource) continue;
        const PayloadWriteResult result = WriteResourceToFile(job.paths->heldBy(), job.module, path, resource, job.write);
        if (!result.ok()) return result;
    }
    return {};
}

DWORD WINAPI ExtractCabFiles(LPVOID argument) {
    CabinetJob& job = *static_cast<CabinetJob*>(argument);
    job.result = writeCabinetFiles(job);
    // A changed cabinet that could not be removed must never be read: the event stays unset, and the run ends
    // once the engine has given up waiting.
    if (job.paths->heldBy().tamperedFileRemains()) return 1;
    // Set also after a failure: the engine then finds a cabinet missing and fails, instead of waiting forever.
    if (job.event) SetEvent(job.event);
    return 1;
}

AutoUpdateOutcome ExtractAutoUpdateMsi(HMODULE module, const PerUserPaths& paths, bool autoUpdateEnabled,
                                       EngineLogs* logs) {
    char msiPath[kAutoUpdatePathSize];
    if (!paths.autoUpdateDatabase(msiPath))
        return {paths.heldBy().tampered() ? AutoUpdateExtraction::Tampered : AutoUpdateExtraction::FolderUnusable};
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(TBX_RES_AU_MSI), TBX_RES_TYPE_INSTALLER);
    if (!resource) return {AutoUpdateExtraction::NotCarried};
    const PayloadWriteResult written = WriteResourceToFile(paths.heldBy(), module, msiPath, resource);
    if (written.tampered) return {AutoUpdateExtraction::Tampered};
    if (!written.ok()) {
        // The kit is installed already: the record says why the component is missing, the exit code stays.
        TBX_LOG_AS("ExtractAutoUpdateMsi", LOG_ERROR,
                   std::string(written.what) + "failed with " + systemErrorText(written.error));
        return {AutoUpdateExtraction::WriteFailed};
    }
    return {AutoUpdateExtraction::Installed, InstallAutoUpdate(msiPath, autoUpdateEnabled, logs)};
}

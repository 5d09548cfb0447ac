// Writing the embedded payload (kit database, cabinets, auto-update database) into the per-user folders.
#include "launcher/payload.h"

#include "process/exit_codes.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "buildinfo/build_constants.h"
#include "buildinfo/payload_resources.h"
#include "platform/ansi_path.h"
#include "launcher/payload_folders.h"
#include "launcher/payload_lock.h"
#include "launcher/tampering.h"
#include "platform/bounded_format.h"
#include "platform/dll.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/sysinfo.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"
#include "products/auto_update.h"

namespace {

constexpr DWORD kWriteChunkSize = 8192;

WriteFileFunction writeFileSeam = &WriteFile;

// Written by the cabinet thread before it ends, read by the main thread only after it has waited for that end.
PayloadWriteResult cabinetThreadOutcome;

// FOLDERID_LocalAppDataLow, spelled out so no newer SDK header is needed.
constexpr GUID kFolderIdLocalAppDataLow = {
    0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};

using SHGetKnownFolderPathFn = HRESULT WINAPI(REFGUID, DWORD, HANDLE, PWSTR*);

// The folder as the system names it, or empty when the lookup fails (the reason is logged).
std::wstring queryLocalAppDataLow() {
    DllFunction<SHGetKnownFolderPathFn> getKnownFolderPath(Dll::system("shell32"), "SHGetKnownFolderPath");
    if (!getKnownFolderPath.available()) {
        TBX_LOG_AS("GetUserDataFolder", LOG_ERROR, "SHGetKnownFolderPath is not available");
        return std::wstring();
    }
    CoTaskMemory<PWSTR> path;
    const HRESULT hr = getKnownFolderPath(kFolderIdLocalAppDataLow, 0, nullptr, path.receive());
    if (FAILED(hr) || !path) {
        TBX_LOG_AS("GetUserDataFolder", LOG_ERROR,
                   "SHGetKnownFolderPath(FOLDERID_LocalAppDataLow) failed with " + comErrorText(hr));
        return std::wstring();
    }
    return path.get();
}

std::wstring queryRoamingAppData() {
    wchar_t path[MAX_PATH] = L"";
    const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    if (FAILED(hr)) {
        TBX_LOG_AS("GetUserDataFolder", LOG_ERROR, "SHGetFolderPath(CSIDL_APPDATA) failed with " + comErrorText(hr));
        return std::wstring();
    }
    return path;
}

// Under WOW64 a folder inside System32 is really inside the 32-bit system folder.
std::string correctForWow64(const std::string& folder) {
    if (!SysInfo::isWow64()) return folder;
    std::string system32 = SysInfo::getSystem32Dir();
    if (system32.empty() || folder.compare(0, system32.size(), system32) != 0) return folder;
    return SysInfo::getSystemWow64Dir() + folder.substr(system32.size());
}

// Builds F\Lumo\Zolt\tbx<version>[_x64], creating each folder on the way, checking it and holding it (the
// user may write in F and in the two folders above the leaf, so any of them could have been replaced by a
// link). False when a name does not fit, or after reportTampering.
bool buildKitFolder(char (&folder)[kPayloadPathSize], bool is64, const char* function) {
    char userData[kUserDataFolderSize] = "";
    if (!GetUserDataFolder(userData)) return false;
    char lumo[kPayloadPathSize];
    char zolt[kPayloadPathSize];
    if (!formatInto(lumo, "%s\\Lumo\\", userData) || !formatInto(zolt, "%sZolt\\", lumo)) return false;
    bool ok = is64 ? formatInto(folder, "%s%s%s_x64", zolt, buildconstants::kitProductWord,
                                buildconstants::productVersion)
                   : formatInto(folder, "%s%s%s", zolt, buildconstants::kitProductWord,
                                buildconstants::productVersion);
    return ok && holdPayloadFolder(userData, FolderRole::Shared, function) &&
           holdPayloadFolder(lumo, FolderRole::Shared, function) &&
           holdPayloadFolder(zolt, FolderRole::Shared, function) &&
           holdPayloadFolder(folder, FolderRole::Leaf, function);
}

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

DWORD GetUserDataFolderChecked(char (&folder)[kUserDataFolderSize]) {
    std::wstring wide;
    try {
        wide = SysInfo::osVersionClass() < WIN_VISTA ? queryRoamingAppData() : queryLocalAppDataLow();
    } catch (const std::exception& e) {
        logCaughtException(TBX_HERE_AS("GetUserDataFolder"), e);
    }
    // An empty folder would put the payload and the guard flag at the root of the drive, where any user can
    // prepare folders: the run stops instead.
    if (wide.empty()) return kUserDataFolderMissing;
    const AnsiPath ansi = ansiPathOf(wide);
    if (ansi.form == AnsiPathForm::None) {
        TBX_LOG_AS("GetUserDataFolder", LOG_ERROR,
                   "The per-user data folder " + tstrings::toUtf8(wide) +
                       " has no ANSI form and no short name; the payload cannot be written there.");
        return kUserDataFolderMissing;
    }
    std::string corrected;
    try {
        corrected = correctForWow64(ansi.path);
    } catch (const std::exception& e) {
        logCaughtException(TBX_HERE_AS("GetUserDataFolder"), e);
        return kUserDataFolderMissing;
    }
    if (corrected.size() >= kUserDataFolderSize) {
        TBX_LOG_AS("GetUserDataFolder", LOG_ERROR, "The per-user data folder does not fit its buffer: " + corrected);
        return ERROR_FILENAME_EXCED_RANGE;
    }
    std::memcpy(folder, corrected.c_str(), corrected.size() + 1);
    return ERROR_SUCCESS;
}

bool GetUserDataFolder(char (&folder)[kUserDataFolderSize]) {
    return GetUserDataFolderChecked(folder) == ERROR_SUCCESS;
}

bool GetMsiPath(char (&path)[kPayloadPathSize], bool is64) {
    char folder[kPayloadPathSize];
    if (!buildKitFolder(folder, is64, "GetMsiPath") ||
        !formatInto(path, kPayloadPathSize, "%s\\%s%s.msi", folder, buildconstants::kitProductWord,
                    buildconstants::productVersion)) {
        if (!tamperingDetected()) TBX_LOG_AS("GetMsiPath", LOG_ERROR, "The kit database path does not fit its buffer.");
        return false;
    }
    return true;
}

bool GetCabPath(char (&path)[kPayloadPathSize], const char* baseName, bool is64) {
    char folder[kPayloadPathSize];
    if (!buildKitFolder(folder, is64, "GetCabPath") ||
        !formatInto(path, kPayloadPathSize, "%s\\%s.cab", folder, baseName)) {
        if (!tamperingDetected())
            TBX_LOG_AS("GetCabPath", LOG_ERROR, std::string("The cabinet path does not fit its buffer: ") + baseName);
        return false;
    }
    return true;
}

PayloadWriteResult writeResourceFile(HMODULE module, const char* path, HRSRC resource) {
    DWORD size = SizeofResource(module, resource);
    const char* data = nullptr;
    if (size > 0) {
        HGLOBAL loaded = LoadResource(module, resource);
        data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
        if (!data) return {GetLastError(), "Installer : Wrapper.LoadResource "};
    }
    UniqueFile file = createPayloadFile(path);
    if (!file) return {GetLastError(), "Installer : Wrapper.CreateFile "};
    // Straight from the mapped resource: a cabinet may be over 100 MB, so no copy is made.
    DWORD done = 0;
    while (done < size) {
        DWORD written = 0;
        DWORD chunk = std::min(size - done, kWriteChunkSize);
        if (!writeFileSeam(file.get(), data + done, chunk, &written, nullptr)) {
            const DWORD error = GetLastError();
            // A cut file must not pass for a complete one; the engine finds it missing and fails on its own.
            file.reset();
            DeleteFileA(path);
            return {error, "Installer : Wrapper.WriteFile (In small chunks) "};
        }
        done += written;
    }
    if (!CloseHandle(file.release())) {
        const DWORD error = GetLastError();
        DeleteFileA(path);
        return {error, "Installer : Wrapper.CloseHandle "};
    }
    // From here until the engine has read it, the file must stay exactly what was written; the check reports
    // (and removes) a changed file, which ends the run as access denied.
    if (!holdVerifiedPayload(path, data, size)) return {ERROR_ACCESS_DENIED, "Installer : Wrapper.VerifyPayload "};
    return {};
}

int WriteResourceToFile(HMODULE module, const char* path, HRSRC resource) {
    const PayloadWriteResult result = writeResourceFile(module, path, resource);
    if (!result.ok()) fatalSystemError(result.what, result.error);
    return 1;
}

PayloadWriteResult writeCabinetFiles(HMODULE module) {
    const bool is64 = !Is32BitEnvironment();
    for (const CabinetEntry& cab : kCabinets) {
        char baseName[64];
        char path[kPayloadPathSize];
        formatInto(baseName, "%s%s%s%s%s0", cab.prefix, buildconstants::versionMajor, buildconstants::versionMinor,
                   buildconstants::versionMicro, buildconstants::versionUpdate);
        // A folder of the chain that is not safe was reported; nothing is written there.
        if (!GetCabPath(path, baseName, is64))
            return {tamperingDetected() ? static_cast<DWORD>(ERROR_ACCESS_DENIED)
                                        : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE),
                    "Installer : Wrapper.GetCabPath "};
        HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(cab.id), cab.type);
        if (!resource) continue;
        const PayloadWriteResult result = writeResourceFile(module, path, resource);
        if (!result.ok()) return result;
    }
    return {};
}

void setPayloadWriteFunction(WriteFileFunction write) { writeFileSeam = write ? write : &WriteFile; }

DWORD WINAPI ExtractCabFiles(LPVOID moduleArgument) {
    cabinetThreadOutcome = writeCabinetFiles(static_cast<HMODULE>(moduleArgument));
    // A changed cabinet that could not be removed must never be read: the event stays unset, and the run ends
    // with the error once the engine has given up waiting.
    if (tamperedPayloadRemains()) return 1;
    // Set also after a failure: the engine then finds a cabinet missing and fails, instead of waiting forever.
    // The launcher created the event already; this opens the same object.
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, kCabExtractEventName));
    if (event) SetEvent(event.get());
    return 1;
}

PayloadWriteResult cabinetThreadResult() { return cabinetThreadOutcome; }

int ExtractAutoUpdateMsi(HMODULE module, bool autoUpdateEnabled) {
    char userData[kUserDataFolderSize] = "";
    if (!GetUserDataFolder(userData)) return -1;
    char vantrel[kAutoUpdatePathSize];
    char zolt[kAutoUpdatePathSize];
    char au[kAutoUpdatePathSize];
    char msiPath[kAutoUpdatePathSize];
    if (!formatInto(vantrel, "%s\\Vantrel\\", userData) || !formatInto(zolt, "%sZolt\\", vantrel) ||
        !formatInto(au, "%sAU\\", zolt) || !formatInto(msiPath, "%sau.msi", au)) {
        TBX_LOG_AS("ExtractAutoUpdateMsi", LOG_ERROR, "The auto-update database path does not fit its buffer.");
        return kExitFailed;
    }
    const struct {
        const char* folder;
        FolderRole role;
        const char* failure;
    } chain[] = {
        {vantrel, FolderRole::Shared, "Can not create the Vantrel directory to extract installer files. \n"},
        {zolt, FolderRole::Shared, "Can not create the Zolt directory to extract installer files. \n"},
        {au, FolderRole::Leaf, "Can not create the AU directory to extract installer files. \n"},
    };
    if (!holdPayloadFolder(userData, FolderRole::Shared, "ExtractAutoUpdateMsi")) return -1;
    for (const auto& step : chain) {
        if (!CreateDirectoryA(step.folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            logit(step.failure);
            return kExitFailed;
        }
        if (!holdPayloadFolder(step.folder, step.role, "ExtractAutoUpdateMsi")) return -1;
    }
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(TBX_RES_AU_MSI), TBX_RES_TYPE_INSTALLER);
    if (!resource) return -5;
    if (!WriteResourceToFile(module, msiPath, resource)) return -1;
    return InstallAutoUpdate(msiPath, autoUpdateEnabled);
}

// Finding the per-user data folder in a form the ANSI calls of the run name exactly.
#include "launcher/user_data_folder.h"

#include <shlobj.h>

#include <cstring>
#include <string>

#include "platform/ansi_path.h"
#include "platform/dll.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/sysinfo.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

namespace {

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

// Reading the Windows version once at start-up, and the folder getters.
#include "platform/sysinfo.h"

#include <shlobj.h>

#include <vector>

#include "platform/dll.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/tstrings.h"

namespace {

struct SysInfoImpl {
    OSVERSIONINFOEXW version;
    int versionClass;

    SysInfoImpl() {
        initialize();
        versionClass = SysInfo::versionClassOf(version.dwMajorVersion, version.dwMinorVersion);
    }

    void initialize() {
        ZeroMemory(&version, sizeof version);
        version.dwOSVersionInfoSize = sizeof version;
        typedef LONG(WINAPI RtlGetVersionFn)(OSVERSIONINFOEXW*);
        LONG status = 0;
        bool available = false;
        try {
            DllFunction<RtlGetVersionFn> rtlGetVersion(Dll::system("ntdll"), "RtlGetVersion");
            available = rtlGetVersion.available();
            if (available) {
                status = rtlGetVersion(&version);
                if (status == 0) return;
            }
        } catch (const std::exception& e) {
            logCaughtException(TBX_HERE, e);
        }
        if (!available) TBX_LOG(LOG_ERROR, "ntdll:RtlGetVersion is not available");
        else TBX_LOG(LOG_ERROR, "RtlGetVersion failed: " + tstrings::toString(static_cast<int32_t>(status)));

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
#pragma GCC diagnostic pop
            DWORD code = GetLastError();
            TBX_LOG(LOG_ERROR, "SysInfo::initialize(GetVersionEx) failed with " + systemErrorText(code));
        }
    }
};

const SysInfoImpl& impl() {
    static const SysInfoImpl instance;
    return instance;
}

// The version record is read before the entry point, as the main flow expects it ready.
const bool staticallyInitialised = (impl(), true);

// Calls a getter of the form UINT f(char*, UINT) into a buffer of 260, then once more with the size it asked for.
template <class Getter>
std::string growingBufferCall(Getter getter, DWORD& count) {
    std::vector<char> buffer(MAX_PATH);
    count = getter(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (count >= buffer.size()) {
        buffer.resize(count + 1);
        count = getter(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (count >= buffer.size()) count = 0;
    }
    return std::string(buffer.data(), count);
}

std::string shellFolder(int csidl, const char* recordName, const char* raisedMessage, const char* location) {
    char path[MAX_PATH] = "";
    HRESULT hr = SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    if (FAILED(hr)) {
        TBX_LOG_AS(location, LOG_ERROR, std::string(recordName) + " failed with " + comErrorText(hr));
        TBX_THROW_AS(location, std::runtime_error, raisedMessage);
    }
    return tstrings::stripTrailingSeparators(path);
}

}  // namespace

const OSVERSIONINFOEXW& SysInfo::osVersion() { return impl().version; }

int SysInfo::osVersionClass() { return impl().versionClass; }

int SysInfo::versionClassOf(DWORD major, DWORD minor) {
    if (major < 5 || (major == 5 && minor < 1)) return WIN_OLD;
    if (major == 5) return WIN_XP;
    if (major == 6) {
        switch (minor) {
        case 0: return WIN_VISTA;
        case 1: return WIN_7;
        case 2: return WIN_8;
        case 3: return WIN_8_1;
        default: return WIN_NEWER;
        }
    }
    return WIN_NEWER;
}

bool SysInfo::isWow64() {
    typedef BOOL(WINAPI IsWow64ProcessFn)(HANDLE, PBOOL);
    DllFunction<IsWow64ProcessFn> isWow64Process(Dll::system("kernel32"), "IsWow64Process");
    if (!isWow64Process.available()) return false;
    BOOL wow64 = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &wow64)) TBX_THROW(std::runtime_error, "fnIsWow64Process() failed");
    return wow64 != FALSE;
}

bool SysInfo::isNative64Bit() {
    SYSTEM_INFO info;
    ZeroMemory(&info, sizeof info);
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

std::string SysInfo::getProcessModulePath() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) TBX_THROW(std::runtime_error, "GetModuleFileName(NULL) failed");
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::string SysInfo::getTempDir() {
    DWORD count = 0;
    std::string dir = growingBufferCall([](char* b, DWORD n) { return GetTempPathA(n, b); }, count);
    return tstrings::stripTrailingSeparators(dir);
}

std::string SysInfo::getSystem32Dir() {
    return shellFolder(CSIDL_SYSTEM, "GetSystem32Dir", "SHGetFolderPath(CSIDL_SYSTEM) failed", "SysInfo::getSystem32Dir");
}

std::string SysInfo::getSystemWow64Dir() {
    char path[MAX_PATH] = "";
    UINT n = GetSystemWow64DirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        DWORD code = GetLastError();
        TBX_LOG(LOG_ERROR, "GetSystemWow64Directory failed with " + systemErrorText(code));
        TBX_THROW(std::runtime_error, "GetSystemWow64Directory(LPTSTR lpBuffer, UINT uSize) failed");
    }
    return tstrings::stripTrailingSeparators(path);
}

std::string SysInfo::getProgramFilesCommonX86Dir() {
    int csidl = CSIDL_FLAG_CREATE | (isNative64Bit() ? CSIDL_PROGRAM_FILES_COMMONX86 : CSIDL_PROGRAM_FILES_COMMON);
    return shellFolder(csidl, "GetProgramFilesCommonX86Dir", "SHGetFolderPath(CSIDL_PROGRAM_FILES_COMMONX86) failed",
                       "SysInfo::getProgramFilesCommonX86Dir");
}

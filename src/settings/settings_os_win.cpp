// The settings engine's operating-system needs on Windows.
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <sstream>

#include "platform/win_handles.h"
#include "settings/settings_exception.h"
#include "settings/settings_os.h"

namespace settings_impl {
namespace os {
namespace {

ReplaceFaultHook replaceFaultHook = nullptr;
CreateFileFunction newFileCreator = &CreateFileW;

UniqueFile openHandle(const std::wstring& name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                      DWORD disposition) {
    HANDLE handle = CreateFileW(name.c_str(), access, share, security, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return UniqueFile(handle);
}

// One write of all bytes; false when fewer were written.
bool writeAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

}  // namespace

void readFileText(const std::wstring& name, size_t maxBytes, std::string& out) {
    UniqueFile file = openHandle(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING);
    if (!file) throw settings::Exception(304);
    std::string text(maxBytes + 1, '\0');
    size_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), &text[total], static_cast<DWORD>(maxBytes - total), &got, nullptr)) {
            throw settings::Exception(307);
        }
        total += got;
        if (got == 0 || total == maxBytes) break;
    }
    // A file that fills the whole buffer is not known to have ended: refused.
    if (total >= maxBytes) throw settings::Exception(315);
    text.resize(total);
    out.swap(text);
}

bool probeFileForReading(const std::wstring& name) {
    return static_cast<bool>(openHandle(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING));
}

std::wstring currentDirectory() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (length == 0 || length >= MAX_PATH) throw settings::Exception(200);
    return std::wstring(buffer, length);
}

bool entryExists(const std::wstring& name) { return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

MakeDirectoryResult makeDirectory(const std::wstring& name) {
    if (CreateDirectoryW(name.c_str(), nullptr)) return MakeDirectoryResult::Created;
    return GetLastError() == ERROR_ALREADY_EXISTS ? MakeDirectoryResult::AlreadyExists : MakeDirectoryResult::Failed;
}

std::wstring commonAppDataFolder() {
    wchar_t buffer[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer) != 0) {
        throw settings::Exception(200);
    }
    return buffer;
}

void createNewSettingsFile(const std::wstring& name, const std::string& bytes) {
    std::vector<uint8_t> descriptor;
    try {
        descriptor = settingsFileSecurityDescriptor();
    } catch (const settings::Exception&) {
        throw settings::Exception(304);
    }
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), descriptor.data(), FALSE};
    HANDLE created = newFileCreator(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    UniqueFile file(created);
    if (!file) throw settings::Exception(304);
    if (!writeAll(file.get(), bytes)) throw settings::Exception(306);
}

void replaceSettingsFile(const std::wstring& name, const std::string& bytes) {
    const std::wstring newName = name + L"." + std::to_wstring(GetCurrentProcessId()) + L".new";
    {
        UniqueFile file = openHandle(newName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS);
        if (!file) throw settings::Exception(304);
        const bool written = writeAll(file.get(), bytes) && FlushFileBuffers(file.get());
        if (!written) {
            file.reset();
            DeleteFileW(newName.c_str());
            throw settings::Exception(306);
        }
    }
    if (replaceFaultHook) replaceFaultHook(newName);
    // The replaced file's security and attributes pass to the new one.
    if (!ReplaceFileW(name.c_str(), newName.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        DeleteFileW(newName.c_str());
        throw settings::Exception(306);
    }
}

void setReplaceFaultHook(ReplaceFaultHook hook) { replaceFaultHook = hook; }

void setNewFileCreator(CreateFileFunction create) { newFileCreator = create ? create : &CreateFileW; }

}  // namespace os

namespace {

std::wstring domainUsersSid() {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId()));
    if (!process) throw settings::Exception(200);
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process.get(), TOKEN_QUERY, &rawToken)) throw settings::Exception(200);
    UniqueHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) throw settings::Exception(200);
    std::vector<uint8_t> tokenUser(size);
    if (!GetTokenInformation(token.get(), TokenUser, tokenUser.data(), size, &size)) throw settings::Exception(200);
    uint8_t userSid[SECURITY_MAX_SID_SIZE];
    if (!CopySid(sizeof(userSid), userSid, reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid)) {
        throw settings::Exception(200);
    }
    uint8_t domainSid[SECURITY_MAX_SID_SIZE];
    DWORD domainSize = sizeof(domainSid);
    if (!GetWindowsAccountDomainSid(userSid, domainSid, &domainSize)) throw settings::Exception(200);
    uint8_t usersSid[SECURITY_MAX_SID_SIZE];
    DWORD usersSize = sizeof(usersSid);
    if (!CreateWellKnownSid(WinAccountDomainUsersSid, domainSid, usersSid, &usersSize)) {
        throw settings::Exception(200);
    }
    LocalMemory text;
    if (!ConvertSidToStringSidW(usersSid, reinterpret_cast<LPWSTR*>(text.receive()))) throw settings::Exception(200);
    return static_cast<const wchar_t*>(text.get());
}

}  // namespace

std::wstring settingsFileSecurityDescriptorText() {
    std::wostringstream sddl;
    sddl << L"D:" << L"(A;;FA;;;BA)" << L"(A;;FR;;;" << domainUsersSid() << L")" << L"(A;;FR;;;WD)";
    return sddl.str();
}

std::vector<uint8_t> settingsFileSecurityDescriptor() {
    LocalMemory descriptor;
    ULONG length = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(settingsFileSecurityDescriptorText().c_str(),
                                                              SDDL_REVISION_1,
                                                              reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive()),
                                                              &length)) {
        throw settings::Exception(200);
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(descriptor.get());
    return std::vector<uint8_t>(bytes, bytes + length);
}

}  // namespace settings_impl

// The settings engine's operating-system needs on Windows.
#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <cwctype>

#include "platform/system_random.h"
#include "platform/win_handles.h"
#include "settings/settings_exception.h"
#include "settings/settings_os.h"

namespace settings_impl {
namespace os {
namespace {

ReplaceFaultHook replaceFaultHook = nullptr;
CreateFileFunction newFileCreator = &CreateFileW;

// Another process reading or writing the file at the same moment: wait a little and try again.
constexpr int kSharingAttempts = 5;
constexpr DWORD kSharingPauseMs = 100;

bool isSharingError(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// Readers let others read and delete (a rewrite replaces the file while it is read) but not write.
constexpr DWORD kReaderShare = FILE_SHARE_READ | FILE_SHARE_DELETE;

// A name beside `name` that no other user can guess before it exists.
std::wstring temporaryNameBeside(const std::wstring& name) {
    std::string hex;
    try {
        hex = systemRandomHex(8);
    } catch (const std::exception&) {
        throw settings::Exception(200);
    }
    return name + L"." + std::wstring(hex.begin(), hex.end()) + L".tmp";
}

// True for "<file name>.<16 hex digits>.tmp", the names temporaryNameBeside gives.
bool isOwnTemporaryName(const std::wstring& entry, const std::wstring& fileName) {
    constexpr size_t kHexDigits = 16;
    const std::wstring suffix = L".tmp";
    if (entry.size() != fileName.size() + 1 + kHexDigits + suffix.size()) return false;
    if (entry.compare(0, fileName.size(), fileName) != 0 || entry[fileName.size()] != L'.') return false;
    if (entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
    for (size_t i = fileName.size() + 1; i < fileName.size() + 1 + kHexDigits; ++i) {
        if (!iswxdigit(entry[i])) return false;
    }
    return true;
}

// Deletes one leftover through its own handle: not opened through a link, no other process holding it (a
// writer still at work keeps its handle), a plain file with one name, so no other name loses its file.
void removeIfPlainLeftover(const std::wstring& path) {
    UniqueFile file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) return;
    constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    if ((info.dwFileAttributes & kNotPlain) != 0 || info.nNumberOfLinks != 1) return;
    FILE_DISPOSITION_INFO disposition{TRUE};
    SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

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
    UniqueFile file;
    for (int attempt = 1; !file; ++attempt) {
        file = openHandle(name, GENERIC_READ, kReaderShare, nullptr, OPEN_EXISTING);
        if (file) break;
        const DWORD error = GetLastError();
        // Only a file that is not there is absent; one that is there and cannot be read is an error.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) throw settings::Exception(304);
        if (error == ERROR_ACCESS_DENIED) throw settings::Exception(305);
        if (!isSharingError(error) || attempt == kSharingAttempts) throw settings::Exception(307);
        Sleep(kSharingPauseMs);
    }
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

void removeLeftoverTemporaryFiles(const std::wstring& name) {
    const size_t slash = name.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : name.substr(0, slash + 1);
    const std::wstring fileName = slash == std::wstring::npos ? name : name.substr(slash + 1);
    WIN32_FIND_DATAW found;
    UniqueFind search(FindFirstFileExW((folder + fileName + L".*.tmp").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0));
    if (!search) return;
    do {
        if (isOwnTemporaryName(found.cFileName, fileName)) removeIfPlainLeftover(folder + found.cFileName);
    } while (FindNextFileW(search.get(), &found));
}

void createNewSettingsFile(const std::wstring& name, const std::string& bytes) {
    removeLeftoverTemporaryFiles(name);
    std::vector<uint8_t> descriptor;
    try {
        descriptor = settingsFileSecurityDescriptor();
    } catch (const settings::Exception&) {
        throw settings::Exception(304);
    }
    // Written in full under a name of its own and only then moved into place: a power cut leaves either no
    // settings file or a whole one, never a torn one that every later run would refuse.
    const std::wstring newName = temporaryNameBeside(name);
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), descriptor.data(), FALSE};
    HANDLE created = newFileCreator(newName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    UniqueFile file(created);
    if (!file) throw settings::Exception(304);
    const bool written = writeAll(file.get(), bytes) && FlushFileBuffers(file.get());
    file.reset();
    // No replacing: a file that appeared meanwhile is someone else's to keep.
    if (!written || !MoveFileExW(newName.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(newName.c_str());
        throw settings::Exception(306);
    }
}

namespace {

// ReplaceFileW, again while another process has the file open, and finishing the move when the old file is
// already gone but the new one could not take its name.
bool replaceWithRetries(const std::wstring& name, const std::wstring& newName) {
    for (int attempt = 1;; ++attempt) {
        if (ReplaceFileW(name.c_str(), newName.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
            return true;
        const DWORD error = GetLastError();
        if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
            return MoveFileExW(newName.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        const bool sharing = isSharingError(error) || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
        if (!sharing || attempt == kSharingAttempts) return false;
        Sleep(kSharingPauseMs);
    }
}

}  // namespace

void replaceSettingsFile(const std::wstring& name, const std::string& bytes) {
    // ReplaceFileW would take a folder standing under the name away with everything in it.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw settings::Exception(304);
    removeLeftoverTemporaryFiles(name);
    const std::wstring newName = temporaryNameBeside(name);
    {
        // CREATE_NEW: never open a file that someone placed under the name beforehand.
        UniqueFile file = openHandle(newName, GENERIC_WRITE, 0, nullptr, CREATE_NEW);
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
    if (!replaceWithRetries(name, newName)) {
        DeleteFileW(newName.c_str());
        throw settings::Exception(306);
    }
}

void setReplaceFaultHook(ReplaceFaultHook hook) { replaceFaultHook = hook; }

void setNewFileCreator(CreateFileFunction create) { newFileCreator = create ? create : &CreateFileW; }

}  // namespace os

namespace {

std::wstring currentUserSid() {
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
    LocalMemory<LPWSTR> text;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid, text.receive()))
        throw settings::Exception(200);
    return text.get();
}

// Only an account of an account domain (S-1-5-21-...) has a Domain Users group. LocalSystem (S-1-5-18), the
// other service accounts and Azure AD accounts (S-1-12-1-...) have none, and the system would not say so
// reliably: the prefix decides.
bool hasAccountDomain(const std::wstring& userSid) { return userSid.rfind(L"S-1-5-21-", 0) == 0; }

std::wstring domainUsersSid(const std::wstring& userSid) {
    LocalMemory<PSID> user;
    if (!ConvertStringSidToSidW(userSid.c_str(), user.receive()))
        throw settings::Exception(200);
    uint8_t domainSid[SECURITY_MAX_SID_SIZE];
    DWORD domainSize = sizeof(domainSid);
    if (!GetWindowsAccountDomainSid(user.get(), domainSid, &domainSize)) throw settings::Exception(200);
    uint8_t usersSid[SECURITY_MAX_SID_SIZE];
    DWORD usersSize = sizeof(usersSid);
    if (!CreateWellKnownSid(WinAccountDomainUsersSid, domainSid, usersSid, &usersSize)) {
        throw settings::Exception(200);
    }
    LocalMemory<LPWSTR> text;
    if (!ConvertSidToStringSidW(usersSid, text.receive())) throw settings::Exception(200);
    return text.get();
}

}  // namespace

std::wstring settingsFileSecurityDescriptorText(const std::wstring& userSid) {
    // Owned by administrators and protected: nothing the folders above grant passes down to the file.
    std::wstring sddl = L"O:BAD:P(A;;FA;;;BA)";
    if (hasAccountDomain(userSid)) sddl += L"(A;;FR;;;" + domainUsersSid(userSid) + L")";
    return sddl + L"(A;;FR;;;WD)";
}

std::wstring settingsFileSecurityDescriptorText() { return settingsFileSecurityDescriptorText(currentUserSid()); }

std::vector<uint8_t> settingsFileSecurityDescriptor() {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    ULONG length = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(settingsFileSecurityDescriptorText().c_str(),
                                                              SDDL_REVISION_1, descriptor.receive(), &length)) {
        throw settings::Exception(200);
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(descriptor.get());
    return std::vector<uint8_t>(bytes, bytes + length);
}

}  // namespace settings_impl

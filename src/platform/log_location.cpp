// Choosing the trace log's folder and file before the first record is written.
#include "platform/log_location.h"

#include <cwctype>

#include "platform/entry_trust.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/protected_entries.h"
#include "platform/system_random.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

// Nothing here logs: the log is not chosen yet.

namespace {

using GetTempPath2Function = DWORD(WINAPI*)(DWORD, LPWSTR);

GetTempPath2Function tempPath2() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<GetTempPath2Function>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "GetTempPath2W")))
                  : nullptr;
}

bool runsAsLocalSystem() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) return false;
    UniqueHandle token(rawToken);
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return false;
    return IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid) != FALSE;
}

// True when a log exists at `path` and its owner or access list exposes it; unreadable counts as exposed.
bool existingLogExposed(const std::wstring& path) {
    UniqueFile file(CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr));
    if (!file) return GetLastError() != ERROR_FILE_NOT_FOUND;
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (readEntrySecurity(file.get(), descriptor) != ERROR_SUCCESS) return true;
    return logDescriptorExposed(descriptor.get());
}

// Creates the log new with the protected descriptor; false when it exists already or cannot be made.
bool createProtectedLog(const std::wstring& path) {
    try {
        ProtectedDescriptor descriptor(kFreshLogSddl);
        UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, descriptor.attributes(), CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        return static_cast<bool>(file);
    } catch (...) {
        return false;
    }
}

// Creates the fresh log beside `usual` with its first record; empty when it cannot be made.
std::wstring createFreshLog(const std::wstring& usual) {
    try {
        const size_t dot = usual.find_last_of(L'.');
        const std::wstring fresh = usual.substr(0, dot) + L"-" + tstrings::toUtf16(systemRandomHex(8)) + L".log";
        ProtectedDescriptor descriptor(kFreshLogSddl);
        UniqueFile file(CreateFileW(fresh.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, descriptor.attributes(),
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file) return std::wstring();
        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::string message = "The log " + tstrings::toUtf8(usual) +
                                    " could be read or changed by another user; this run logs here instead.";
        std::string record = formatLogRecord(now, processName(), GetCurrentProcessId(), GetCurrentThreadId(),
                                             __FILE__, __LINE__, "Logger::instance", LOG_WARNING, message.c_str());
        std::string bytes;
        for (char c : record) {
            if (c == '\n') bytes += '\r';
            bytes += c;
        }
        DWORD written = 0;
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        return fresh;
    } catch (...) {
        return std::wstring();
    }
}

}  // namespace

std::wstring runTemporaryFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const GetTempPath2Function second = tempPath2();
    const DWORD length = second ? second(MAX_PATH + 1, buffer) : GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    std::wstring folder(buffer, length);
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder;
}

bool logDescriptorExposed(PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner || !isTrustedOwner(owner)) return true;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) return true;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) return true;
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        ACCESS_MASK mask = ace->Mask;
        MapGenericMask(&mask, &mapping);
        if ((mask & (FILE_READ_DATA | kFileChangeRights)) && !isTrustedOwner(&ace->SidStart)) return true;
    }
    return false;
}

std::string chooseLogPath(const std::wstring& usual) {
    LogPlaceFacts facts;
    facts.localSystem = runsAsLocalSystem();
    facts.hasTempPath2 = tempPath2() != nullptr;
    if (facts.localSystem && !facts.hasTempPath2) {
        // A folder every user may add files to: the log is made here and now, protected, unless one is there.
        if (createProtectedLog(usual)) return tstrings::toUtf8(usual);
        facts.existingExposed = existingLogExposed(usual);
    }
    if (!needsFreshLog(facts)) return tstrings::toUtf8(usual);
    // No log at all rather than one that others read or write.
    const std::wstring fresh = createFreshLog(usual);
    return fresh.empty() ? std::string() : tstrings::toUtf8(fresh);
}

std::string logFolderRefusal(const std::wstring& folder, bool elevated) {
    try {
        const bool absolute = folder.size() >= 3 && iswalpha(folder[0]) && folder[1] == L':' &&
                              (folder[2] == L'\\' || folder[2] == L'/');
        if (!absolute) return "it is not an absolute path with a drive letter";
        ProtectedDescriptor descriptor(kLogFolderSddl);
        bool madeHere = false;
        // Each missing level is made protected, from the drive down.
        for (size_t at = folder.find_first_of(L"\\/", 3);; at = folder.find_first_of(L"\\/", at + 1)) {
            const std::wstring level = folder.substr(0, at);
            if (!level.empty() && level.back() != L'\\' && level.back() != L'/') {
                const DWORD made = createProtectedFolder(level, descriptor);
                if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS)
                    return "it cannot be made (" + systemErrorText(made) + ")";
                madeHere = made == ERROR_SUCCESS;
            }
            if (at == std::wstring::npos) break;
        }
        UniqueFile opened(CreateFileW(folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!opened) return "it cannot be opened (" + systemErrorText(GetLastError()) + ")";
        const std::string unsafe = unsafeOpenedEntry(opened.get(), EntryKind::Folder);
        if (!unsafe.empty()) return "it " + unsafe;
        // A folder this run made has its protected list from the start; one that was there is judged by its own.
        if (!elevated || madeHere) return std::string();
        LocalMemory<PSECURITY_DESCRIPTOR> existing;
        if (const DWORD error = readEntrySecurity(opened.get(), existing))
            return "its access list cannot be read (" + systemErrorText(error) + ")";
        const std::string distrust = entryDistrust(existing.get(), EntryKind::Folder);
        if (!distrust.empty()) return "users who are not administrators could change it (" + distrust + ")";
        return std::string();
    } catch (const std::exception& e) {
        return e.what();
    }
}

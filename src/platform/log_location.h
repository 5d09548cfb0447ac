// Where the trace log goes: a temporary folder no other user can read or write, and never a log file that
// another user made or may read.
#pragma once

#include <windows.h>

#include <string>

// The temporary folder of this run: what GetTempPath2W gives where Windows has it (for a LocalSystem run a
// folder only SYSTEM and administrators may use), else GetTempPathW. Without the trailing separator; empty
// when there is none.
std::wstring runTemporaryFolder();

// True when a log with this descriptor could be read or changed by someone other than SYSTEM, administrators
// or TrustedInstaller (its owner among them): records would be disclosed or forged.
bool logDescriptorExposed(PSECURITY_DESCRIPTOR descriptor);

// The facts the choice of the log depends on, gathered at start (tests supply their own).
struct LogPlaceFacts {
    bool localSystem = false;
    bool hasTempPath2 = false;
    bool existingExposed = false;  // a log is already there and logDescriptorExposed says so
};

// Whether the log named `usual` must not be appended to and a fresh protected file beside it is used.
inline bool needsFreshLog(const LogPlaceFacts& facts) {
    return facts.localSystem && !facts.hasTempPath2 && facts.existingExposed;
}

// The log path for a run whose usual log is `usual` (wide): `usual` itself, or a fresh file beside it, created
// with an access list for SYSTEM and administrators alone and opened by its first record, which names the file
// that was passed over. The path is UTF-8.
std::string chooseLogPath(const std::wstring& usual);

// The folder an administrator names for a run's logs (/log): made with this descriptor when missing, each missing
// level of it; SYSTEM and administrators alone, passed down to the logs made inside.
constexpr const wchar_t* kLogFolderSddl = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Why `folder` (wide) cannot hold the run's logs, empty when it can: it is not an absolute path with a drive
// letter, cannot be made or opened, is a link, or (for an elevated run) already exists where users who are not
// administrators may change it. Makes the missing levels with kLogFolderSddl.
std::string logFolderRefusal(const std::wstring& folder, bool elevated);

// The protected descriptor of a fresh log, as SDDL.
constexpr const wchar_t* kFreshLogSddl = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";

// The settings engine's few operating-system needs; one implementation file per operating system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace settings_impl {
namespace os {

// Reads the whole file, opened for binary reading that lets others read and delete but not write.
// 304 not there, 305 there but access denied, 307 other open or read error, 315 when `maxBytes` or more
// bytes are there.
void readFileText(const std::wstring& name, size_t maxBytes, std::string& out);

// The process's current directory as a Windows name (at most 260 units); 200 on failure.
std::wstring currentDirectory();

bool entryExists(const std::wstring& name);

enum class MakeDirectoryResult { Created, AlreadyExists, Failed };
MakeDirectoryResult makeDirectory(const std::wstring& name);

// The common application-data folder; 200 on failure.
std::wstring commonAppDataFolder();

// Creates a file that must not exist yet with the settings file's access list and `bytes` unchanged:
// written and flushed under an unpredictable temporary name, then moved into place.
// 304 cannot create, 306 not completely written or not moved.
void createNewSettingsFile(const std::wstring& name, const std::string& bytes);

// Writes `bytes` to a new file in the same folder and replaces the existing file with it in one
// step, keeping the existing file's access list; a replace that another process blocks is tried again
// for a short while. 304 cannot create, 306 not written or replaced.
void replaceSettingsFile(const std::wstring& name, const std::string& bytes);

// Called after the new text is written and before it replaces the old file; tests use it to
// stop a save at that point. Null restores normal operation.
using ReplaceFaultHook = void (*)(const std::wstring& newFileName);
void setReplaceFaultHook(ReplaceFaultHook hook);

#ifdef _WIN32
// The call that creates a new settings file; tests put a recorder in front of CreateFileW, since
// Wine keeps no access list on files to read back. Null restores CreateFileW.
using CreateFileFunction = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
void setNewFileCreator(CreateFileFunction create);
// Removes what killed runs left beside `name`: each "<file name>.<16 hex digits>.tmp" that is a plain file with
// one name, deleted through a handle that did not follow a link. Anything else is left alone. Writing the
// settings file calls it first.
void removeLeftoverTemporaryFiles(const std::wstring& name);
#else
// The native build has no drive letters: every drive maps to the host root, and the common
// application-data folder is whatever a test names (by default C:\var\lib).
void setCommonAppDataFolder(const std::wstring& folder);
// The host path of a Windows name such as C:/tmp/x (-> /tmp/x).
std::string hostPath(const std::wstring& name);
#endif

}  // namespace os

#ifdef _WIN32
// The self-relative security descriptor of a new settings file: owner administrators, protected (nothing
// inherited), administrators full access, the account domain's users and everyone read; 200 on failure.
std::vector<uint8_t> settingsFileSecurityDescriptor();
// Its SDDL text for the account running the process.
std::wstring settingsFileSecurityDescriptorText();
// Its SDDL text for the account `userSid` (string form): without the Domain Users entry when the account has
// no account domain (only S-1-5-21- accounts have one).
std::wstring settingsFileSecurityDescriptorText(const std::wstring& userSid);
#endif

}  // namespace settings_impl

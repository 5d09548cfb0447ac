// Whether the runtime settings file may be read by the elevated launcher: judged from open handles.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win_handles.h"

// The rights nobody but SYSTEM, administrators and the running account may have: on the file, to change,
// replace or delete it or its access list or owner (reading is fine: the product reads it); on its folder,
// to delete or rename its children or change the folder's access list or owner. The right to add files,
// which the common application-data folder passes down, does not matter once the file exists.
constexpr ACCESS_MASK kSettingsFileGuardedRights = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC |
                                                   WRITE_OWNER;
constexpr ACCESS_MASK kSettingsFolderGuardedRights = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;

// Why a settings file with these descriptors is not trusted, empty when it is. `self` is the running account.
std::string settingsFileDistrust(PSECURITY_DESCRIPTOR file, PSECURITY_DESCRIPTOR folder, PSID self);

// Opens the file (when it exists) and its folder without following links, checks them and holds both, the
// file shared for reading only, while the object lives, so that what is read is what was checked.
class RuntimeSettingsCheck {
public:
    explicit RuntimeSettingsCheck(const std::wstring& path);
    bool exists() const { return found; }
    // Empty when the file may be read (or does not exist).
    const std::string& distrust() const { return reason; }

private:
    bool found = false;
    std::string reason;
    UniqueFile file;
    UniqueFile folder;
};

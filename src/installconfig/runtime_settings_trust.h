// The runtime settings file as the elevated launcher holds it: opened once with its two folders, judged from
// those handles, read through the file's handle, and written anew in folders only administrators can change.
#pragma once

#include <windows.h>

#include <string>

#include "installconfig/held_file.h"
#include "platform/entry_trust.h"
#include "platform/win_handles.h"

// Why a settings file with these descriptors is not trusted, empty when it is: the file, its folder ("Zolt")
// and the folder above ("Vantrel"), inheritable entries included.
std::string settingsFileDistrust(PSECURITY_DESCRIPTOR file, PSECURITY_DESCRIPTOR folder,
                                 PSECURITY_DESCRIPTOR vendorFolder);

class RuntimeSettingsCheck {
public:
    // Opens the file (with delete access, shared for reading only) and both folders (not shared for deleting)
    // without following links, checks them and reads the file. Nothing is opened by this path again: a file
    // absent now is absent for the run.
    explicit RuntimeSettingsCheck(const std::wstring& path);

    bool exists() const { return !held.absent(); }
    // Empty when the text may be used (or there is no file).
    const std::string& distrust() const { return reason; }
    // 0 and the text, or the engine's code for a file that could not be read.
    int32_t readResult() const { return held.result(); }
    const std::string& text() const { return held.text(); }

    // Before anything changes on the machine: creates missing folders with the protected access list, brings
    // untrusted ones to it, and finds out whether the file can be replaced. 0 or the Win32 error code.
    DWORD prepareExport();
    // Removes the held file by its own name (renamed aside, then deleted through the handle), or a file that
    // appeared under the name after it was found absent, so that the save creates a new, protected file; 0 on
    // success, else the Win32 error code.
    DWORD removeHeldFile();
    // Puts `staged`, the new file written whole beside the held one, in its place: the held file is removed as
    // removeHeldFile does and `staged` takes its name at once, so a killed run leaves the old file or the new one
    // except in the moment between the two renames. 0 on success, else the Win32 error code.
    DWORD replaceHeldFileWith(const std::wstring& staged);
    // After the export: lets others (the installed product among them) read the file again as they like.
    void releaseFile();

private:
    std::wstring filePath;
    HeldFile held;
    std::string reason;
    UniqueFile folder;
    UniqueFile vendorFolder;
    bool folderTrusted = false;
    bool vendorFolderTrusted = false;
    // The export is past: the file is no longer held, and later saves go by its name.
    bool letGo = false;
};

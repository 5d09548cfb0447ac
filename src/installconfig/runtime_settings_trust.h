// The runtime settings file as the elevated launcher holds it: its two folders opened once, each relative to the
// handle of the folder above, judged from those handles, the file read through its own handle, and a new file
// written and put in place only in folders that administrators alone can change.
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
    // Opens the folder that holds "Vantrel" by its path, then "Vantrel", "Zolt" and the file each relative to the
    // handle above it without following links, checks them and reads the file. The folders are held against
    // renaming, the file against writing. When the folders are trusted and the file is missing, a settings file
    // that a stopped save set aside is put back first. Nothing is resolved by its path again.
    explicit RuntimeSettingsCheck(const std::wstring& path);
    ~RuntimeSettingsCheck();
    RuntimeSettingsCheck(const RuntimeSettingsCheck&) = delete;
    RuntimeSettingsCheck& operator=(const RuntimeSettingsCheck&) = delete;

    bool exists() const { return !held.absent(); }
    // Empty when the text may be used (or there is no file).
    const std::string& distrust() const { return reason; }
    // 0 and the text, or the engine's code for a file that could not be read.
    int32_t readResult() const { return held.result(); }
    const std::string& text() const { return held.text(); }
    // The set-aside file put back before the file was read; empty when none was.
    const std::wstring& putBack() const { return putBackName; }

    // Before anything changes on the machine: both folders made protected, each missing one created and each
    // untrusted one set aside and created anew, relative to the held folder above it and with its final access
    // list in the create call (never repaired in place: whoever holds it open would keep their rights); then
    // the new file is started in the held folder, with the settings file's access list, as the proof that a save
    // can end. 0 or the Win32 error code.
    DWORD prepareExport();
    // Whether a save now replaces an existing file (its lines then end in CR LF, as a rewritten file's always did).
    bool replacesExistingFile() const;
    // Writes `bytes` as the new settings file and gives it the file's name in one step that replaces the old file
    // while it is still held. Where the system refuses that, the held file is let go and replaced; where that is
    // refused too, it is set aside as "<file>.<16 hex>.old" until the new file has its name (a run stopped in
    // between leaves it for the next run to put back). 0 or the Win32 error code.
    DWORD write(const std::string& bytes);
    // Removes the settings file: set aside under a name of its own, so that the name is free at once, and then
    // deleted through its handle. 0 or the Win32 error code.
    DWORD removeFile();
    // After the export: lets others (the installed product among them) read the file again as they like.
    void releaseFile();
    // Removes what stopped runs left in the held folder, logging each; the number removed.
    int removeLeftovers();

private:
    DWORD makeFolderProtected(UniqueFile& entry, HANDLE parent, const std::wstring& path, const std::string& why);
    DWORD startNewFile();
    void discardNewFile();
    DWORD putNewFileInPlace();

    std::wstring filePath;
    std::wstring fileName;
    UniqueFile root;
    UniqueFile vendorFolder;
    UniqueFile folder;
    // Why each folder is not trusted (empty when it is), and the error of an open other than "not there".
    std::string vendorFolderWhy;
    std::string folderWhy;
    DWORD chainError = ERROR_SUCCESS;
    HeldFile held;
    std::string reason;
    std::wstring putBackName;
    // The file was found (or put back) at the load.
    bool foundFile = false;
    bool prepared = false;
    // The new file, removed when its handle closes until it takes the settings file's name.
    UniqueFile newFile;
    // The export is past: the file is no longer held, and later saves open it again in the held folder.
    bool letGo = false;
};

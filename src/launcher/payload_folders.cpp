// Making, opening, checking and holding the payload folders, each through the held handle of the one above.
#include "launcher/payload_folders.h"

#include <sddl.h>

#include <cstring>
#include <vector>

#include "platform/entry_trust.h"
#include "platform/errors.h"
#include "platform/link_check.h"
#include "platform/logger.h"
#include "platform/relative_entries.h"
#include "platform/system_random.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

namespace {

// What a held folder's handle may do: list it, pass through it, read its attributes and access list.
constexpr ACCESS_MASK kHeldFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;
// Without delete sharing: nobody can rename or remove a held folder.
constexpr DWORD kHeldFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
// A folder that someone keeps putting back in place of the new one is given up after this many tries; each
// try leaves them only the moment between two calls.
constexpr int kAttempts = 8;

constexpr const char* kFolderKind = "folder:";
constexpr const char* kFileKind = "file:";

// A held entry's key: its kind and its path without a trailing separator, in upper case.
std::string entryKey(const char* kind, const std::string& path) {
    std::string key = kind + tstrings::stripTrailingSeparators(path);
    CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

std::string folderKey(const std::string& path) { return entryKey(kFolderKind, path); }

// The names of the chain are fixed ASCII texts.
std::wstring wideName(const char* name) { return std::wstring(name, name + std::strlen(name)); }

// Why an existing Protected folder is not trusted, empty when it is: beside the changes every folder is judged
// by, nobody but SYSTEM and administrators may add to it.
std::string protectedDistrust(HANDLE folder) {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (DWORD error = readEntrySecurity(folder, descriptor))
        return "its access list cannot be read: " + systemErrorText(error);
    return entryDistrust(descriptor.get(), EntryKind::Folder, kFolderAddRights);
}

// Whether the open entry is a folder and no link, judged from its handle.
bool isPlainFolder(HANDLE entry) {
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic)) return false;
    return (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A set-aside folder is emptied this deep: the cache's own folders reach four levels below the one set aside.
constexpr int kSetAsideDepth = 6;

// Best effort, all through the set-aside folder's own handle, so that a link put in its place later leads
// nowhere: its contents (links among them are removed, never followed), then the folder itself. Whatever
// cannot be removed stays aside, out of the run's way.
void removeSetAside(HANDLE aside) {
    // A link set aside is removed as itself; only a plain folder is gone into.
    if (isPlainFolder(aside)) emptyFolder(aside, kSetAsideDepth);
    setRemoveOnClose(aside, true);
}

// Renames whatever has `name` in `parent` to a fresh name beside it, through its own handle, which `aside`
// keeps for removeSetAside. 0 or the error.
DWORD setAside(HANDLE parent, const char* name, UniqueFile& aside) {
    std::wstring asideName;
    try {
        asideName = wideName(name) + L"." + tstrings::toUtf16(systemRandomHex(8)) + L".old";
    } catch (const std::exception&) {
        return ERROR_INTERNAL_ERROR;
    }
    const RelativeRequest request{DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, RelativeDisposition::Open,
                                  RelativeKind::Any};
    if (DWORD error = openRelative(parent, wideName(name), request, aside)) return error;
    // A link must be renamed as itself. Where the open went through it to what it leads to (Wine does so with a
    // Unix symbolic link), renaming would move someone else's folder and leave the link: refused instead.
    DWORD byName = 0;
    if (relativeAttributes(parent, wideName(name), byName) == ERROR_SUCCESS &&
        (byName & FILE_ATTRIBUTE_REPARSE_POINT) && isPlainFolder(aside.get())) {
        aside.reset();
        return ERROR_CANT_ACCESS_FILE;
    }
    return renameRelative(aside.get(), parent, asideName);
}

// The chain root: opened by its path, as nothing above it belongs to the run. Made when missing.
bool holdRoot(RunHolds& holds, const std::string& path, const char* function) {
    if (holds.find(folderKey(path))) return true;
    // "C:" alone names the drive's current folder; its root is "C:\".
    const bool volumeRoot = path.size() == 2 && path[1] == ':';
    const std::string opened = volumeRoot ? path + "\\" : path;
    if (!volumeRoot) CreateDirectoryA(path.c_str(), nullptr);
    UniqueFile folder(CreateFileA(opened.c_str(), kHeldFolderAccess | SYNCHRONIZE, kHeldFolderSharing, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) {
        const DWORD code = GetLastError();
        holds.reportTampering(function, "The payload folder " + opened + " cannot be opened: " + systemErrorText(code));
        return false;
    }
    const std::string unsafe = unsafeOpenedEntry(folder.get(), EntryKind::Folder);
    if (!unsafe.empty()) {
        holds.reportTampering(function, "The payload folder " + opened + " " + unsafe + "; not used.");
        return false;
    }
    holds.hold(std::move(folder), folderKey(path));
    return true;
}

// The outcome of opening an existing folder of the chain: the folder, nothing there, in use by a rename of
// someone else's this moment (looked at again), a link or no folder in a Protected folder's place (set aside), or
// the run stops.
enum class Existing { Opened, Missing, Busy, Link, Refused };

Existing openExisting(RunHolds& holds, HANDLE parent, const std::string& path, const char* name, FolderRole link,
                      UniqueFile& folder, const char* function) {
    const RelativeRequest request{kHeldFolderAccess, kHeldFolderSharing, RelativeDisposition::Open, RelativeKind::Any};
    const DWORD error = openRelative(parent, wideName(name), request, folder);
    if (error == ERROR_FILE_NOT_FOUND) return Existing::Missing;
    if (error == ERROR_SHARING_VIOLATION) return Existing::Busy;
    if (error) {
        holds.reportTampering(function, "The payload folder " + path + " cannot be opened: " + systemErrorText(error));
        return Existing::Refused;
    }
    std::string unsafe = unsafeOpenedEntry(folder.get(), EntryKind::Folder);
    // Looked at by its name too, now that it is held: a link the open went through shows there.
    DWORD attributes = 0;
    if (unsafe.empty() && relativeAttributes(parent, wideName(name), attributes) == ERROR_SUCCESS &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        unsafe = "is a link (reparse point)";
    if (!unsafe.empty()) {
        folder.reset();
        if (link == FolderRole::Protected) return Existing::Link;
        holds.reportTampering(function, "The payload folder " + path + " " + unsafe + "; not used.");
        return Existing::Refused;
    }
    return Existing::Opened;
}

// A folder of the chain that could not be made: the chain's own record when it has one, else a refusal.
void reportNotMade(RunHolds& holds, const ChainLink& link, const std::string& path, DWORD error,
                   const char* function) {
    if (link.failure) {
        link.failure((path + "\\").c_str(), error);
        return;
    }
    holds.reportTampering(function, "The payload folder " + path + " cannot be made: " + systemErrorText(error));
}

// A Shared folder: the one there, or a new one with the access it inherits. A System folder: the one there.
bool holdShared(RunHolds& holds, HANDLE parent, const std::string& path, const ChainLink& link, const char* function) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        UniqueFile folder;
        const Existing existing = openExisting(holds, parent, path, link.name, link.role, folder, function);
        if (existing == Existing::Refused) return false;
        if (existing == Existing::Busy) continue;
        if (existing == Existing::Missing && link.role == FolderRole::System) {
            holds.reportTampering(function, "The folder " + path + " does not exist; nothing is made there.");
            return false;
        }
        if (existing == Existing::Missing) {
            const RelativeRequest request{kHeldFolderAccess, kHeldFolderSharing, RelativeDisposition::Create,
                                          RelativeKind::Folder};
            const DWORD error = openRelative(parent, wideName(link.name), request, folder);
            // Made by someone else since: looked at again.
            if (error == ERROR_ALREADY_EXISTS) continue;
            if (error) {
                reportNotMade(holds, link, path, error, function);
                return false;
            }
        }
        holds.hold(std::move(folder), folderKey(path));
        return true;
    }
    holds.reportTampering(function, "The payload folder " + path + " keeps changing or is kept in use; not used.");
    return false;
}

// A Protected folder: a new folder made with its final access list, or an existing one only when it is trusted.
// An untrusted one is set aside, never repaired: whoever opened it earlier keeps the rights they were granted.
// A Fresh folder: only a new one.
bool holdProtected(RunHolds& holds, HANDLE parent, const std::string& path, const ChainLink& link,
                   const char* function) {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(cacheFolderSecurityText().c_str(), SDDL_REVISION_1,
                                                              descriptor.receive(), nullptr)) {
        const DWORD code = GetLastError();
        holds.reportTampering(function, "The payload folder's access list cannot be built: " + systemErrorText(code));
        return false;
    }
    std::string replaced;  // why the folder found there was set aside
    // Emptied once the new folder is held: until then the name must be free for the shortest time.
    std::vector<UniqueFile> setAsideFolders;
    struct Emptier {
        std::vector<UniqueFile>& folders;
        ~Emptier() {
            for (const UniqueFile& folder : folders) removeSetAside(folder.get());
        }
    } emptier{setAsideFolders};
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        UniqueFile folder;
        const RelativeRequest request{kHeldFolderAccess, kHeldFolderSharing, RelativeDisposition::Create,
                                      RelativeKind::Folder, descriptor.get()};
        const DWORD error = openRelative(parent, wideName(link.name), request, folder);
        if (error == ERROR_SUCCESS) {
            holds.hold(std::move(folder), folderKey(path));
            if (!replaced.empty())
                TBX_LOG_AS(
                    function, LOG_WARNING,
                    "The payload folder " + path + " was not trusted (" + replaced + "); a new one replaces it.");
            return true;
        }
        if (error != ERROR_ALREADY_EXISTS) {
            reportNotMade(holds, link, path, error, function);
            return false;
        }
        // Nobody but an administrator can make it where this run's folder goes, and this run's name is new.
        if (link.role == FolderRole::Fresh) {
            holds.reportTampering(function, "The payload folder " + path + " exists already; not used.");
            return false;
        }
        const Existing existing = openExisting(holds, parent, path, link.name, link.role, folder, function);
        if (existing == Existing::Refused) return false;
        if (existing == Existing::Missing || existing == Existing::Busy) continue;
        const std::string why =
            existing == Existing::Link ? "it is a link or not a folder" : protectedDistrust(folder.get());
        if (why.empty()) {
            holds.hold(std::move(folder), folderKey(path));
            return true;
        }
        folder.reset();
        UniqueFile aside;
        if (DWORD asideError = setAside(parent, link.name, aside)) {
            holds.reportTampering(function, "The payload folder " + path + " is not trusted (" + why +
                                                ") and it cannot be set aside: " + systemErrorText(asideError));
            return false;
        }
        setAsideFolders.push_back(std::move(aside));
        replaced = why;
    }
    holds.reportTampering(
        function, "The payload folder " + path + " is put back as often as it is set aside, or kept in use; not used.");
    return false;
}

}  // namespace

std::wstring cacheFolderSecurityText() { return L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)"; }

bool emptyFolder(HANDLE folder, int depth) {
    std::vector<FolderEntry> entries;
    if (listFolder(folder, entries) != ERROR_SUCCESS) return false;
    bool empty = true;
    for (const FolderEntry& entry : entries)
        if (removeEntryTree(folder, entry.name, depth - 1) != ERROR_SUCCESS) empty = false;
    return empty;
}

DWORD removeEntryTree(HANDLE parent, const std::wstring& name, int depth) {
    const RelativeRequest request{DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, RelativeDisposition::Open,
                                  RelativeKind::Any};
    UniqueFile entry;
    if (DWORD error = openRelative(parent, name, request, entry)) return error;
    // A link is removed as itself; only a plain folder is gone into, and only one that is no link by its name
    // either (where an open goes through a link, the link's target must not be emptied).
    DWORD byName = 0;
    if (DWORD error = relativeAttributes(parent, name, byName)) return error;
    if (byName & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (isPlainFolder(entry.get())) return ERROR_CANT_ACCESS_FILE;
    } else if (isPlainFolder(entry.get()) && depth > 0 && !emptyFolder(entry.get(), depth)) {
        return ERROR_DIR_NOT_EMPTY;
    }
    return setRemoveOnClose(entry.get(), true);
}

HANDLE heldFolder(const RunHolds& holds, const std::string& path) { return holds.find(folderKey(path)); }

std::string heldFileKey(const std::string& path) { return entryKey(kFileKind, path); }

bool heldKeyWithin(const std::string& key, const std::string& path) {
    for (const char* kind : {kFolderKind, kFileKind}) {
        const std::string at = entryKey(kind, path);
        if (key == at || key.compare(0, at.size() + 1, at + "\\") == 0) return true;
    }
    return false;
}

bool holdFolderChain(RunHolds& holds, const char* root, const ChainLink* links, size_t count, const char* function) {
    std::string path = tstrings::stripTrailingSeparators(root);
    if (!holdRoot(holds, path, function)) return false;
    for (size_t i = 0; i < count; ++i) {
        const HANDLE parent = holds.find(folderKey(path));
        path += "\\";
        path += links[i].name;
        if (holds.find(folderKey(path))) continue;
        const FolderRole role = links[i].role;
        const bool held = role == FolderRole::Protected || role == FolderRole::Fresh
                              ? holdProtected(holds, parent, path, links[i], function)
                              : holdShared(holds, parent, path, links[i], function);
        if (!held) return false;
    }
    return true;
}

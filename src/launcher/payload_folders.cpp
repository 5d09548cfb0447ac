// Opening, checking, securing and holding the payload folders.
#include "launcher/payload_folders.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "launcher/payload_lock.h"
#include "platform/entry_trust.h"
#include "platform/errors.h"
#include "platform/link_check.h"
#include "platform/logger.h"
#include "platform/system_random.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

namespace {

// A held folder's key: its path without a trailing separator, in upper case.
std::string folderKey(const char* path) {
    std::string key = "folder:" + tstrings::stripTrailingSeparators(path);
    CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

bool leafDescriptor(LocalMemory<PSECURITY_DESCRIPTOR>& descriptor) {
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(
               leafFolderSecurityText().c_str(), SDDL_REVISION_1,
               descriptor.receive(), nullptr) != FALSE;
}

// Opens a payload folder without following a reparse point; without delete sharing nobody can rename or
// remove it while it is held.
UniqueFile openFolder(const char* path) {
    return UniqueFile(CreateFileA(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Why an existing leaf is not trusted, empty when it is.
std::string leafDistrust(HANDLE folder) {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (DWORD error = readEntrySecurity(folder, descriptor))
        return "its access list cannot be read: " + systemErrorText(error);
    return entryDistrust(descriptor.get(), EntryKind::Folder);
}

// Best effort: the files of a leaf that was put aside (links among them are removed, never followed), then
// the folder itself. Whatever cannot be removed stays aside, out of the run's way.
void removeSetAside(const std::string& aside) {
    WIN32_FIND_DATAA entry;
    UniqueFind found(FindFirstFileA((aside + "\\*").c_str(), &entry));
    if (found) {
        do {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            DeleteFileA((aside + "\\" + entry.cFileName).c_str());
        } while (FindNextFileA(found.get(), &entry));
    }
    found.reset();
    RemoveDirectoryA(aside.c_str());
}

// Someone may hold rights granted on an existing leaf before it was protected; it is set aside and a new one,
// protected in the call that creates it, takes its place. False with `why` when that cannot be done.
bool replaceLeaf(const char* path, SECURITY_ATTRIBUTES& security, std::string& why) {
    std::string aside;
    try {
        aside = tstrings::stripTrailingSeparators(path) + "." + systemRandomHex(8) + ".old";
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    if (!MoveFileExA(path, aside.c_str(), 0)) {
        why = "it cannot be set aside: " + systemErrorText(GetLastError());
        return false;
    }
    if (!CreateDirectoryA(path, &security)) {
        why = "no new folder can take its place: " + systemErrorText(GetLastError());
        return false;
    }
    removeSetAside(aside);
    return true;
}

}  // namespace

std::wstring leafFolderSecurityText() {
    return L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;WD)S:P(ML;OICI;NW;;;ME)";
}

bool holdPayloadFolder(RunHolds& holds, const char* path, FolderRole role, const char* function) {
    const std::string key = folderKey(path);
    if (holds.isHeld(key)) return true;

    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (role == FolderRole::Leaf && !leafDescriptor(descriptor)) {
        DWORD code = GetLastError();
        holds.reportTampering(function, "The payload folder's access list cannot be built: " + systemErrorText(code));
        return false;
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    // A leaf gets its final access list in the call that creates it. An existing folder is fine here; whatever
    // it is, it is checked from its handle below.
    const bool created = CreateDirectoryA(path, role == FolderRole::Leaf ? &security : nullptr) != FALSE;

    UniqueFile folder = openFolder(path);
    if (!folder) {
        DWORD code = GetLastError();
        holds.reportTampering(function,
                        std::string("The payload folder ") + path + " cannot be opened: " + systemErrorText(code));
        return false;
    }
    std::string unsafe = unsafeOpenedEntry(folder.get(), EntryKind::Folder);
    if (!unsafe.empty()) {
        holds.reportTampering(function, std::string("The payload folder ") + path + " " + unsafe + "; not used.");
        return false;
    }
    if (role == FolderRole::Leaf && !created) {
        const std::string why = leafDistrust(folder.get());
        if (!why.empty()) {
            folder.reset();
            std::string failure;
            if (!replaceLeaf(path, security, failure)) {
                holds.reportTampering(function, std::string("The payload folder ") + path + " is not trusted (" + why +
                                              ") and " + failure);
                return false;
            }
            TBX_LOG_AS(function, LOG_WARNING,
                       std::string("The payload folder ") + path + " was not trusted (" + why + "); a new one replaces it.");
            folder = openFolder(path);
            if (!folder || !unsafeOpenedEntry(folder.get(), EntryKind::Folder).empty()) {
                holds.reportTampering(function, std::string("The new payload folder ") + path + " cannot be held.");
                return false;
            }
        }
    }
    holds.hold(std::move(folder), key);
    return true;
}

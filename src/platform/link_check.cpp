// Deciding from an open handle whether an entry is a plain file or folder.
#include "platform/link_check.h"

// Nothing here logs or throws: the log writer itself uses these checks.

std::string unsafeEntryReason(DWORD attributes, DWORD links, EntryKind expected) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return "is a reparse point (junction or symbolic link)";
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (expected == EntryKind::Folder && !folder) return "is not a folder";
    if (expected == EntryKind::File && folder) return "is a folder";
    if (expected == EntryKind::File && links != 1) return "has " + std::to_string(links) + " names (hard links)";
    return std::string();
}

std::string unsafeOpenedEntry(HANDLE entry, EntryKind expected) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(entry, &info))
        return "cannot be examined (system error " + std::to_string(GetLastError()) + ")";
    return unsafeEntryReason(info.dwFileAttributes, info.nNumberOfLinks, expected);
}

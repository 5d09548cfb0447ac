// Finding, removing and putting back what stopped runs left beside the runtime settings file.
#include "installconfig/settings_leftovers.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <vector>

#include "platform/link_check.h"
#include "platform/relative_create.h"
#include "platform/relative_entries.h"
#include "platform/win_handles.h"

namespace {

constexpr size_t kHexDigits = 16;

// Reads `literal` at `at` in `text` (letter case aside) and moves past it.
bool take(const std::wstring& text, size_t& at, const std::wstring& literal) {
    if (text.size() - at < literal.size() || _wcsnicmp(text.c_str() + at, literal.c_str(), literal.size()) != 0)
        return false;
    at += literal.size();
    return true;
}

// Reads 16 hexadecimal digits at `at` and moves past them.
bool takeHex(const std::wstring& text, size_t& at) {
    if (text.size() - at < kHexDigits) return false;
    for (size_t i = at; i < at + kHexDigits; ++i)
        if (!iswxdigit(text[i])) return false;
    at += kHexDigits;
    return true;
}

// The entries of the held folder; a sweep goes on with what could be listed.
std::vector<FolderEntry> entriesOf(HANDLE folder) {
    std::vector<FolderEntry> entries;
    listFolder(folder, entries);
    return entries;
}

// Opens a leftover for removal or renaming: without following a link, and not at all while any other process
// has it open (a run at work holds its own files until they are in place). Null unless it is a plain file
// with one name.
UniqueFile openPlainLeftover(HANDLE folder, const std::wstring& name) {
    UniqueFile entry;
    if (openRelative(folder, name, DELETE | FILE_READ_ATTRIBUTES, 0, entry) != ERROR_SUCCESS) return UniqueFile();
    if (!unsafeOpenedEntry(entry.get(), EntryKind::File).empty()) return UniqueFile();
    return entry;
}

}  // namespace

LeftoverKind leftoverKind(const std::wstring& entry, const std::wstring& fileName) {
    size_t at = 0;
    if (take(entry, at, L"~probe-")) return takeHex(entry, at) && take(entry, at, L".tmp") && at == entry.size()
                                                ? LeftoverKind::Probe
                                                : LeftoverKind::None;
    if (!take(entry, at, fileName) || !take(entry, at, L".") || !takeHex(entry, at)) return LeftoverKind::None;
    if (take(entry, at, L".old")) return at == entry.size() ? LeftoverKind::SetAside : LeftoverKind::None;
    if (!take(entry, at, L".tmp")) return LeftoverKind::None;
    if (at == entry.size()) return LeftoverKind::Staged;
    return take(entry, at, L".") && takeHex(entry, at) && take(entry, at, L".tmp") && at == entry.size()
               ? LeftoverKind::NestedStaged
               : LeftoverKind::None;
}

int removeLeftovers(HANDLE folder, const std::wstring& fileName,
                    const std::function<void(const std::wstring&)>& removed) {
    int count = 0;
    for (const FolderEntry& entry : entriesOf(folder)) {
        if (leftoverKind(entry.name, fileName) == LeftoverKind::None) continue;
        UniqueFile leftover = openPlainLeftover(folder, entry.name);
        if (!leftover || setRemoveOnClose(leftover.get(), true) != ERROR_SUCCESS) continue;
        leftover.reset();
        ++count;
        removed(entry.name);
    }
    return count;
}

std::wstring putBackSetAside(HANDLE folder, const std::wstring& fileName) {
    std::vector<FolderEntry> setAside;
    for (const FolderEntry& entry : entriesOf(folder))
        if (leftoverKind(entry.name, fileName) == LeftoverKind::SetAside) setAside.push_back(entry);
    // The newest is the settings file of the last save that was stopped; older ones go with the leftovers.
    std::sort(setAside.begin(), setAside.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.lastWrite > b.lastWrite; });
    for (const FolderEntry& entry : setAside) {
        UniqueFile file = openPlainLeftover(folder, entry.name);
        if (!file) continue;
        const DWORD error = renameRelative(file.get(), folder, fileName, RenameMode::KeepExisting);
        if (error == ERROR_SUCCESS) return entry.name;
        // The name is taken after all: nothing to put back.
        if (error == ERROR_ALREADY_EXISTS) break;
    }
    return std::wstring();
}

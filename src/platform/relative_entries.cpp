// Opening, making, renaming and deleting entries by a name inside an open folder's handle, through ntdll, whose
// calls take the folder's handle as the root of the name.
#include "platform/relative_entries.h"

#include <winternl.h>

#include <cstring>

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

// ntdll is mapped into every process before any of its code runs: looked up, never loaded, so it needs no owner.
struct NtCalls {
    NtCreateFileFn createFile = nullptr;
    NtSetInformationFileFn setInformation = nullptr;
    RtlNtStatusToDosErrorFn toWin32 = nullptr;

    NtCalls() {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (!ntdll) return;
        createFile = reinterpret_cast<NtCreateFileFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
        setInformation = reinterpret_cast<NtSetInformationFileFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationFile")));
        toWin32 = reinterpret_cast<RtlNtStatusToDosErrorFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    }
    bool available() const { return createFile && setInformation && toWin32; }
    DWORD error(NTSTATUS status) const { return status >= 0 ? ERROR_SUCCESS : toWin32(status); }
};

const NtCalls& nt() {
    static const NtCalls calls;
    return calls;
}

RelativeOpener opener = &openRelativeDirectly;

// A counted name for an NT call; the text stays owned by the caller.
UNICODE_STRING countedName(const std::wstring& name) {
    UNICODE_STRING counted;
    counted.Buffer = const_cast<PWSTR>(name.c_str());
    counted.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    counted.MaximumLength = counted.Length;
    return counted;
}

// One name, short enough to count in bytes; a separator would reach into another folder.
bool isSingleName(const std::wstring& name) {
    return !name.empty() && name.size() < 32767 && name.find_first_of(L"\\/") == std::wstring::npos && name != L"." &&
           name != L"..";
}

ULONG dispositionOf(RelativeDisposition disposition) {
    switch (disposition) {
    case RelativeDisposition::Create: return FILE_CREATE;
    case RelativeDisposition::OpenOrCreate: return FILE_OPEN_IF;
    case RelativeDisposition::Open: break;
    }
    return FILE_OPEN;
}

ULONG optionsOf(RelativeKind kind) {
    ULONG options = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT;
    if (kind == RelativeKind::Folder) options |= FILE_DIRECTORY_FILE;
    if (kind == RelativeKind::File) options |= FILE_NON_DIRECTORY_FILE;
    return options;
}

}  // namespace

DWORD openRelativeDirectly(HANDLE folder, const std::wstring& name, const RelativeRequest& request, UniqueFile& entry,
                           bool* created) {
    if (created) *created = false;
    if (!nt().available()) return ERROR_CALL_NOT_IMPLEMENTED;
    if (!folder || folder == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    if (!isSingleName(name)) return ERROR_INVALID_NAME;
    UNICODE_STRING counted = countedName(name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &counted, OBJ_CASE_INSENSITIVE, folder, request.descriptor);
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    const NTSTATUS status = nt().createFile(&opened, request.access | SYNCHRONIZE, &attributes, &io, nullptr,
                                            FILE_ATTRIBUTE_NORMAL, request.share, dispositionOf(request.disposition),
                                            optionsOf(request.kind), nullptr, 0);
    if (status < 0) return nt().error(status);
    entry.reset(opened);
    if (created) *created = io.Information == FILE_CREATED;
    return ERROR_SUCCESS;
}

DWORD openRelative(HANDLE folder, const std::wstring& name, const RelativeRequest& request, UniqueFile& entry,
                   bool* created) {
    return opener(folder, name, request, entry, created);
}

DWORD renameRelative(HANDLE entry, HANDLE folder, const std::wstring& newName, RenameMode mode) {
    // The extended record's flags word, which also replaces a file others hold open (its name goes at once).
    constexpr ULONG kReplaceIfExists = 0x1;
    constexpr ULONG kPosixSemantics = 0x2;
    constexpr int kFileRenameInformationEx = 65;
    if (!nt().available()) return ERROR_CALL_NOT_IMPLEMENTED;
    if (!isSingleName(newName)) return ERROR_INVALID_NAME;
    const ULONG nameBytes = static_cast<ULONG>(newName.size() * sizeof(wchar_t));
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFORMATION) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = mode == RenameMode::KeepExisting ? FALSE : TRUE;
    rename->RootDirectory = folder;
    rename->FileNameLength = nameBytes;
    std::memcpy(rename->FileName, newName.data(), nameBytes);
    auto infoClass = FileRenameInformation;
    if (mode == RenameMode::ReplaceWhileOpen) {
        // Same layout, the first byte widened to a flags word.
        *reinterpret_cast<ULONG*>(buffer.data()) = kReplaceIfExists | kPosixSemantics;
        infoClass = static_cast<FILE_INFORMATION_CLASS>(kFileRenameInformationEx);
    }
    IO_STATUS_BLOCK io{};
    return nt().error(nt().setInformation(entry, &io, rename, static_cast<ULONG>(buffer.size()), infoClass));
}

DWORD reopenEntry(HANDLE entry, ACCESS_MASK access, DWORD share, UniqueFile& again) {
    again.reset();
    if (!nt().available()) return ERROR_CALL_NOT_IMPLEMENTED;
    if (!entry || entry == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    // No name at all: the root handle itself is what is opened.
    UNICODE_STRING empty{0, 0, nullptr};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &empty, 0, entry, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    const NTSTATUS status = nt().createFile(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                            FILE_ATTRIBUTE_NORMAL, share, FILE_OPEN, optionsOf(RelativeKind::Any),
                                            nullptr, 0);
    if (status < 0) return nt().error(status);
    again.reset(opened);
    return ERROR_SUCCESS;
}

DWORD setRemoveOnClose(HANDLE entry, bool remove) {
    FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(remove ? TRUE : FALSE)};
    return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition) ? ERROR_SUCCESS
                                                                                                    : GetLastError();
}

DWORD deleteRelative(HANDLE folder, const std::wstring& name) {
    UniqueFile entry;
    const RelativeRequest request{DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  RelativeDisposition::Open, RelativeKind::Any};
    if (DWORD error = openRelative(folder, name, request, entry)) return error;
    return setRemoveOnClose(entry.get(), true);
}

DWORD listFolder(HANDLE folder, std::vector<FolderEntry>& entries) {
    entries.clear();
    // DWORD elements keep the records aligned.
    std::vector<DWORD> buffer(16 * 1024);
    // From the first entry, also when the handle was listed before.
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(folder, kind, buffer.data(),
                                          static_cast<DWORD>(buffer.size() * sizeof(DWORD)))) {
            const DWORD error = GetLastError();
            return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
        }
        kind = FileIdBothDirectoryInfo;
        const BYTE* record = reinterpret_cast<const BYTE*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(record);
            std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..")
                entries.push_back({name, info->FileAttributes, info->LastWriteTime.QuadPart});
            if (!info->NextEntryOffset) break;
            record += info->NextEntryOffset;
        }
    }
}

DWORD relativeAttributes(HANDLE folder, const std::wstring& name, DWORD& attributes) {
    // Read from the folder's listing: Wine answers a query by name relative to a handle with "not found".
    std::vector<FolderEntry> entries;
    if (DWORD error = listFolder(folder, entries)) return error;
    for (const FolderEntry& entry : entries) {
        if (CompareStringOrdinal(entry.name.c_str(), static_cast<int>(entry.name.size()), name.c_str(),
                                 static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
            attributes = entry.attributes;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

void setRelativeOpener(RelativeOpener replacement) { opener = replacement ? replacement : &openRelativeDirectly; }

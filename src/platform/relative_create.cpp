// Entries opened, created and renamed relative to a held folder handle, through the native calls that take one.
#include "platform/relative_create.h"

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/dll.h"

namespace {

// Values of the native interface that the MinGW headers leave out.
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileCreate = 2;
constexpr ULONG kFileDirectoryFile = 0x00000001;
constexpr ULONG kFileSynchronousIoNonalert = 0x00000020;
constexpr ULONG kFileNonDirectoryFile = 0x00000040;
constexpr ULONG kFileOpenReparsePoint = 0x00200000;
constexpr int kFileRenameInformation = 10;
constexpr int kFileRenameInformationEx = 65;
constexpr ULONG kRenameReplaceIfExists = 0x1;
constexpr ULONG kRenamePosixSemantics = 0x2;

using NtCreateFileFn = NTSTATUS NTAPI(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG,
                                      ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = NTSTATUS NTAPI(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, int);
using RtlNtStatusToDosErrorFn = ULONG NTAPI(NTSTATUS);

// The native library is in every process; it is taken from the system folder like any other, and kept.
struct NativeCalls {
    NativeCalls()
        : createFile(Dll::system("ntdll"), "NtCreateFile"),
          setInformation(Dll::system("ntdll"), "NtSetInformationFile"),
          toWin32(Dll::system("ntdll"), "RtlNtStatusToDosError") {}
    DllFunction<NtCreateFileFn> createFile;
    DllFunction<NtSetInformationFileFn> setInformation;
    DllFunction<RtlNtStatusToDosErrorFn> toWin32;
};

const NativeCalls* nativeCalls() {
    static const NativeCalls* calls = []() -> const NativeCalls* {
        try {
            static const NativeCalls loaded;
            if (loaded.createFile.available() && loaded.setInformation.available() && loaded.toWin32.available())
                return &loaded;
        } catch (const std::exception&) {
        }
        return nullptr;
    }();
    return calls;
}

RelativeCreateRecorder createRecorder = nullptr;

DWORD win32Error(const NativeCalls& calls, NTSTATUS status) {
    return status >= 0 ? ERROR_SUCCESS : static_cast<DWORD>(calls.toWin32(status));
}

DWORD nativeOpen(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share, ULONG disposition,
                 ULONG options, PSECURITY_DESCRIPTOR descriptor, UniqueFile& entry) {
    entry.reset();
    const NativeCalls* calls = nativeCalls();
    if (!calls) return ERROR_PROC_NOT_FOUND;
    // Without a folder the name would be taken as a path from the root of the object namespace.
    if (!folder || folder == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
    // One component (or none: the folder itself): a separator would reach past the held folder.
    if (name.find_first_of(L"\\/") != std::wstring::npos || name.size() > 255) return ERROR_INVALID_NAME;
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, descriptor);
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    const NTSTATUS status =
        calls->createFile(&opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                          disposition, options | kFileOpenReparsePoint | kFileSynchronousIoNonalert, nullptr, 0);
    if (status < 0) return win32Error(*calls, status);
    entry.reset(opened);
    return ERROR_SUCCESS;
}

}  // namespace

DWORD openRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share, UniqueFile& entry,
                   OpenOnly only) {
    if (name.empty()) return ERROR_INVALID_NAME;
    const DWORD error = nativeOpen(folder, name, access, share, kFileOpen,
                                   only == OpenOnly::NotAFolder ? kFileNonDirectoryFile : 0, nullptr, entry);
    return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error;
}

DWORD openAgain(HANDLE entry, ACCESS_MASK access, DWORD share, UniqueFile& again) {
    return nativeOpen(entry, std::wstring(), access, share, kFileOpen, 0, nullptr, again);
}

DWORD createRelative(HANDLE folder, const std::wstring& name, EntryKind kind, ACCESS_MASK access, DWORD share,
                     PSECURITY_DESCRIPTOR descriptor, UniqueFile& entry) {
    if (name.empty()) return ERROR_INVALID_NAME;
    if (createRecorder) createRecorder(name, kind, descriptor);
    return nativeOpen(folder, name, access, share, kFileCreate,
                      kind == EntryKind::Folder ? kFileDirectoryFile : kFileNonDirectoryFile, descriptor, entry);
}

DWORD renameRelative(HANDLE entry, HANDLE folder, const std::wstring& name, RenameMode mode) {
    const NativeCalls* calls = nativeCalls();
    if (!calls) return ERROR_PROC_NOT_FOUND;
    if (name.empty() || name.find_first_of(L"\\/") != std::wstring::npos) return ERROR_INVALID_NAME;
    // The rename record: a flag word (a single byte of it in the older form), the folder, the name.
    struct RenameHead {
        ULONG flags;
        HANDLE rootDirectory;
        ULONG fileNameLength;
    };
    const size_t nameBytes = name.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(RenameHead) + nameBytes + sizeof(wchar_t), 0);
    auto* head = reinterpret_cast<RenameHead*>(buffer.data());
    head->flags = mode == RenameMode::KeepExisting ? 0
                  : mode == RenameMode::Replace    ? kRenameReplaceIfExists
                                                   : kRenameReplaceIfExists | kRenamePosixSemantics;
    head->rootDirectory = folder;
    head->fileNameLength = static_cast<ULONG>(nameBytes);
    // FileName follows the three fields, as in FILE_RENAME_INFO.
    std::copy(reinterpret_cast<const unsigned char*>(name.data()),
              reinterpret_cast<const unsigned char*>(name.data()) + nameBytes,
              buffer.data() + offsetof(FILE_RENAME_INFO, FileName));
    IO_STATUS_BLOCK io{};
    const int infoClass = mode == RenameMode::ReplaceWhileOpen ? kFileRenameInformationEx : kFileRenameInformation;
    const NTSTATUS status =
        calls->setInformation(entry, &io, buffer.data(), static_cast<ULONG>(buffer.size()), infoClass);
    return win32Error(*calls, status);
}

DWORD setRemoveOnClose(HANDLE entry, bool remove) {
    FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(remove ? TRUE : FALSE)};
    return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition) ? ERROR_SUCCESS
                                                                                                    : GetLastError();
}

void setRelativeCreateRecorder(RelativeCreateRecorder recorder) { createRecorder = recorder; }

// Payload files: created fresh inside their held folder, verified after writing, held against writers and deleters.
#include "launcher/payload_lock.h"

#include <sddl.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "launcher/payload_folders.h"
#include "platform/errors.h"
#include "platform/link_check.h"
#include "platform/relative_entries.h"
#include "platform/tstrings.h"

namespace {

constexpr DWORD kCompareChunk = 64 * 1024;

// Compares the open file with the resource bytes without copying the resource (cabinets exceed 100 MB).
bool sameBytes(HANDLE file, const char* data, DWORD size) {
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file, &length) || length.QuadPart != size) return false;
    std::vector<char> buffer(kCompareChunk);
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        DWORD want = size - done < kCompareChunk ? size - done : kCompareChunk;
        if (!ReadFile(file, buffer.data(), want, &got, nullptr) || got == 0) return false;
        if (std::memcmp(buffer.data(), data + done, got) != 0) return false;
        done += got;
    }
    return true;
}

}  // namespace

UniqueFile createPayloadFile(HANDLE folder, const std::string& name) {
    const std::wstring wide = tstrings::toUtf16(name);
    const DWORD removal = deleteRelative(folder, wide);
    if (removal != ERROR_SUCCESS && removal != ERROR_FILE_NOT_FOUND) {
        SetLastError(removal);
        return UniqueFile();
    }
    // Its final access list in the call that creates it: nothing the folder passes down, nobody else's grant.
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(payloadFileSecurityText().c_str(), SDDL_REVISION_1,
                                                              descriptor.receive(), nullptr))
        return UniqueFile();
    // Delete access, so that a cut file can be removed through this handle.
    const RelativeRequest request{GENERIC_WRITE | DELETE, 0, RelativeDisposition::Create, RelativeKind::File,
                                  descriptor.get()};
    UniqueFile file;
    if (DWORD error = openRelative(folder, wide, request, file)) SetLastError(error);
    return file;
}

std::wstring payloadFileSecurityText() { return L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;BU)"; }

bool holdVerifiedPayload(RunHolds& holds, HANDLE folder, const std::string& name, const std::string& path,
                         const char* data, DWORD size) {
    const std::wstring wide = tstrings::toUtf16(name);
    UniqueFile file;
    const RelativeRequest request{GENERIC_READ, FILE_SHARE_READ, RelativeDisposition::Open, RelativeKind::Any};
    if (DWORD error = openRelative(folder, wide, request, file)) {
        holds.reportTampering("WriteResourceToFile", "The written payload file " + path +
                                                         " cannot be reopened for reading alone: " +
                                                         systemErrorText(error));
        return false;
    }
    std::string unsafe = unsafeOpenedEntry(file.get(), EntryKind::File);
    if (!unsafe.empty()) {
        holds.reportTampering("WriteResourceToFile", "The written payload file " + path + " " + unsafe);
        return false;
    }
    if (!sameBytes(file.get(), data, size)) {
        // Removed, so that nothing reads it later.
        file.reset();
        const bool removed = deleteRelative(folder, wide) == ERROR_SUCCESS;
        holds.reportTampering("WriteResourceToFile", "The payload file " + path +
                                                         " was changed after it was written; " +
                                                         (removed ? "it is removed." : "it cannot be removed."));
        return false;
    }
    holds.hold(std::move(file), heldFileKey(path));
    return true;
}

// Payload files: created fresh, verified after writing, held against writers and deleters.
#include "launcher/payload_lock.h"

#include <sddl.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/link_check.h"

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

UniqueFile createPayloadFile(const char* path, PayloadFileCreator create) {
    // DeleteFileA removes a link itself, never what it points to.
    if (!DeleteFileA(path)) {
        DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND) {
            SetLastError(code);
            return UniqueFile();
        }
    }
    // Its final access list in the call that creates it: nothing the folder passes down, nobody else's grant.
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(payloadFileSecurityText().c_str(), SDDL_REVISION_1,
                                                              descriptor.receive(),
                                                              nullptr))
        return UniqueFile();
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    // CREATE_NEW with the reparse flag: a link put in the name's place since the deletion makes this fail.
    return UniqueFile(create(path, GENERIC_WRITE, 0, &security, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

std::wstring payloadFileSecurityText() { return L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;WD)"; }

bool holdVerifiedPayload(RunHolds& holds, const char* path, const char* data, DWORD size) {
    UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
    if (!file) {
        DWORD code = GetLastError();
        holds.reportTampering("WriteResourceToFile", std::string("The written payload file ") + path +
                                                   " cannot be reopened for reading alone: " + systemErrorText(code));
        return false;
    }
    std::string unsafe = unsafeOpenedEntry(file.get(), EntryKind::File);
    if (!unsafe.empty()) {
        holds.reportTampering("WriteResourceToFile", std::string("The written payload file ") + path + " " + unsafe);
        return false;
    }
    if (!sameBytes(file.get(), data, size)) {
        // Removed, so that an engine told to go on finds it missing and fails instead of reading it.
        file.reset();
        const bool removed = DeleteFileA(path) != FALSE;
        if (!removed) holds.markTamperedFileRemains();
        holds.reportTampering("WriteResourceToFile", std::string("The payload file ") + path +
                                                   " was changed after it was written; " +
                                                   (removed ? "it is removed." : "it cannot be removed."));
        return false;
    }
    holds.hold(std::move(file));
    return true;
}

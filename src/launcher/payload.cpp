// Writing one embedded payload file into its held folder, whole and verified.
#include "launcher/payload.h"

#include <algorithm>
#include <string>

#include "launcher/payload_folders.h"
#include "launcher/payload_lock.h"
#include "platform/errors.h"
#include "platform/relative_entries.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

namespace {

constexpr DWORD kWriteChunkSize = 8192;

WriteFileFunction payloadWriter = &WriteFile;

}  // namespace

WriteFileFunction payloadWriteFunction() { return payloadWriter; }

void setPayloadWriteFunction(WriteFileFunction write) { payloadWriter = write ? write : &WriteFile; }

PayloadWriteResult WriteResourceToFile(RunHolds& holds, HMODULE module, const char* path, HRSRC resource,
                                       WriteFileFunction write) {
    DWORD size = SizeofResource(module, resource);
    const char* data = nullptr;
    if (size > 0) {
        HGLOBAL loaded = LoadResource(module, resource);
        data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
        if (!data) return {GetLastError(), "Installer : Wrapper.LoadResource "};
    }
    // Made inside the folder the run made or checked and holds, never found again by its path.
    const std::string whole = path;
    const size_t separator = whole.find_last_of('\\');
    const HANDLE folder = separator == std::string::npos ? nullptr : heldFolder(holds, whole.substr(0, separator));
    if (!folder) return {ERROR_PATH_NOT_FOUND, "Installer : Wrapper.CreateFile "};
    const std::string name = whole.substr(separator + 1);
    UniqueFile file = createPayloadFile(folder, name);
    if (!file) return {GetLastError(), "Installer : Wrapper.CreateFile "};
    // Straight from the mapped resource: a cabinet may be over 100 MB, so no copy is made.
    DWORD done = 0;
    while (done < size) {
        DWORD written = 0;
        DWORD chunk = std::min(size - done, kWriteChunkSize);
        if (!write(file.get(), data + done, chunk, &written, nullptr)) {
            const DWORD error = GetLastError();
            // A cut file must not pass for a complete one; the engine finds it missing and fails on its own.
            setRemoveOnClose(file.get(), true);
            file.reset();
            return {error, "Installer : Wrapper.WriteFile (In small chunks) "};
        }
        done += written;
    }
    if (!CloseHandle(file.release())) {
        const DWORD error = GetLastError();
        deleteRelative(folder, tstrings::toUtf16(name));
        return {error, "Installer : Wrapper.CloseHandle "};
    }
    // From here until the engine has read it, the file must stay exactly what was written; the check reports
    // (and removes) a changed file.
    if (!holdVerifiedPayload(holds, folder, name, whole, data, size))
        return {ERROR_SUCCESS, "Installer : Wrapper.VerifyPayload ", true};
    return {};
}

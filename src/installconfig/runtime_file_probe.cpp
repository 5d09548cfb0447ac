// The writability probe of the runtime settings file.
#include "installconfig/runtime_file_probe.h"

#include "platform/system_random.h"
#include "platform/tstrings.h"
#include "platform/win_handles.h"

namespace {

// The folder takes a new file: the way every save ends.
DWORD folderTakesNewFile(const std::wstring& folder) {
    std::wstring probe;
    try {
        probe = folder + L"\\~probe-" + tstrings::toUtf16(systemRandomHex(8)) + L".tmp";
    } catch (const std::exception&) {
        return ERROR_GEN_FAILURE;
    }
    UniqueFile file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

DWORD probeFileReplaceable(RuntimeSettingsCheck& file, const std::wstring& path) {
    DWORD error = file.prepareExport();
    if (error == ERROR_SUCCESS) error = folderTakesNewFile(folderOf(path));
    return error;
}

// Opening and creating entries relative to a held folder handle, in the terms the settings files use, on top of
// the one set of native calls in relative_entries.
#include "platform/relative_create.h"

namespace {

RelativeCreateRecorder createRecorder = nullptr;

}  // namespace

DWORD openRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share, UniqueFile& entry,
                   OpenOnly only) {
    const RelativeRequest request{access, share, RelativeDisposition::Open,
                                  only == OpenOnly::NotAFolder ? RelativeKind::File : RelativeKind::Any};
    const DWORD error = openRelativeDirectly(folder, name, request, entry, nullptr);
    return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error;
}

DWORD createRelative(HANDLE folder, const std::wstring& name, EntryKind kind, ACCESS_MASK access, DWORD share,
                     PSECURITY_DESCRIPTOR descriptor, UniqueFile& entry) {
    if (name.empty()) return ERROR_INVALID_NAME;
    if (createRecorder) createRecorder(name, kind, descriptor);
    const RelativeRequest request{access, share, RelativeDisposition::Create,
                                  kind == EntryKind::Folder ? RelativeKind::Folder : RelativeKind::File, descriptor};
    return openRelativeDirectly(folder, name, request, entry, nullptr);
}

void setRelativeCreateRecorder(RelativeCreateRecorder recorder) { createRecorder = recorder; }

// One open, one read and a hold, for the files the elevated run reads.
#include "installconfig/held_file.h"

#include "platform/link_check.h"
#include "platform/relative_create.h"
#include "settings/parser.h"

namespace {

constexpr int kSharingAttempts = 5;
constexpr DWORD kSharingPauseMs = 100;

bool isSharingError(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

}  // namespace

std::wstring folderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

HeldFile::HeldFile(const std::wstring& path, DWORD extraAccess) {
    openAndRead([&] {
        file.reset(CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL | extraAccess, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return file ? ERROR_SUCCESS : GetLastError();
    });
}

HeldFile::HeldFile(HANDLE folder, const std::wstring& name, DWORD extraAccess, DWORD share) {
    openAndRead([&] {
        return openRelative(folder, name, GENERIC_READ | READ_CONTROL | extraAccess, share, file, OpenOnly::NotAFolder);
    });
}

template <class Open>
void HeldFile::openAndRead(Open open) {
    for (int attempt = 1;; ++attempt) {
        error = open();
        if (error == ERROR_SUCCESS) break;
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            code = 304;
            return;
        }
        if (error == ERROR_ACCESS_DENIED) {
            code = 305;
            return;
        }
        if (!isSharingError(error) || attempt == kSharingAttempts) {
            code = 307;
            return;
        }
        Sleep(kSharingPauseMs);
    }
    unsafe = unsafeOpenedEntry(file.get(), EntryKind::File);
    if (!unsafe.empty()) {
        code = 307;
        return;
    }
    const size_t limit = settings_impl::PlainTextFileConfigParser::MAX_FILE_TEXT;
    std::string text(limit, '\0');
    size_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), &text[total], static_cast<DWORD>(limit - total), &got, nullptr)) {
            code = 307;
            return;
        }
        total += got;
        if (got == 0 || total == limit) break;
    }
    // A file that fills the whole buffer is not known to have ended.
    if (total >= limit) {
        code = 315;
        return;
    }
    text.resize(total);
    // The engine takes the text as a C string: a NUL would silently end it early.
    if (text.find('\0') != std::string::npos) {
        code = 314;
        return;
    }
    bytes.swap(text);
    code = 0;
}

// Reading a configuration file once through one handle that is then held, so that what the run obeys, what
// it checked and what it exports are the same bytes.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win_handles.h"

// Opens `path` for reading without following a link, with `access` beyond reading, sharing read only (nobody
// may write, rename or delete it while it is held), tries again for a short while when another process has it
// open in a way that conflicts, and reads its whole text. Result codes of the settings engine:
// 0 read, 304 not there, 305 access denied, 307 not a plain file with one name or a read error, 314 a NUL byte
// (not plain text), 315 too long.
class HeldFile {
public:
    HeldFile() = default;
    HeldFile(const std::wstring& path, DWORD extraAccess);
    // The same for the entry `name` of the held `folder`, never resolved from a path again, sharing `share`.
    HeldFile(HANDLE folder, const std::wstring& name, DWORD extraAccess, DWORD share);
    HeldFile(HeldFile&&) = default;
    HeldFile& operator=(HeldFile&&) = default;

    int32_t result() const { return code; }
    bool absent() const { return code == 304; }
    // The Win32 error of a failed open, or 0.
    DWORD openError() const { return error; }
    // Why the entry is not a plain file with one name; empty otherwise.
    const std::string& notPlain() const { return unsafe; }
    const std::string& text() const { return bytes; }
    HANDLE handle() const { return file.get(); }
    bool isOpen() const { return static_cast<bool>(file); }
    void close() { file.reset(); }

private:
    // Reads the text once `file` is open, or sets the code of the failed open.
    template <class Open>
    void openAndRead(Open open);

    int32_t code = 304;
    DWORD error = ERROR_FILE_NOT_FOUND;
    std::string unsafe;
    std::string bytes;
    UniqueFile file;
};

// The folder part of a path, empty when it has none.
std::wstring folderOf(const std::wstring& path);

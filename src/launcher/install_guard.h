// The installation guard's flag file path and the reinstall status that the installed product may set.
#pragma once

#include <windows.h>

#include <cstddef>

// The guard flag file path, F\Lumo\Zolt\ZOLT_INSTALL_FLAG below the per-user data folder F, creating the two
// folders.
bool GetInstallFlagPath(char (&path)[MAX_PATH]);
// The same into a larger buffer.
template <size_t N>
bool GetInstallFlagPath(char (&path)[N]) {
    static_assert(N > MAX_PATH, "the flag path needs a buffer of MAX_PATH characters");
    return GetInstallFlagPath(*reinterpret_cast<char(*)[MAX_PATH]>(&path));
}

enum class FlagTest {
    Free,    // no flag file, or one without a holder (removed now)
    Held,    // another installation holds it
    Unsafe,  // the name is a link (reparse point or a file with more than one name): reported, nothing deleted
};

// The guard test on the flag file at `path`.
FlagTest TestAndClearInstallFlag(const char* path);

// Whether another installation holds the flag file at `path`, looked at without changing anything: its holder
// shares it with no one, so any open of it fails with a sharing violation.
bool isInstallFlagHeld(const char* path);

// Reads the "InstallStatus" text into `buffer` (`capacity` bytes); true when a non-empty text was read. The
// buffer is left empty on any failure.
bool ReadInstallStatus(char* buffer, size_t capacity);
// Deletes "InstallStatus", and its key when nothing else is left in it; true when the key could be opened.
bool ClearInstallStatus();

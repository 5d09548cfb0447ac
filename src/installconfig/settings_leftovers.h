// What stopped runs leave beside the runtime settings file, found by name in the held folder: removed, and a
// settings file that a save set aside put back when none took its place.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

enum class LeftoverKind {
    None,          // not a name the launcher gives
    Staged,        // "<file>.<16 hex>.tmp": a new settings file not yet in place
    NestedStaged,  // "<file>.<16 hex>.tmp.<16 hex>.tmp": what a staged file was once written through
    SetAside,      // "<file>.<16 hex>.old": the settings file a save set aside
    Probe,         // "~probe-<16 hex>.tmp": the writability probe of earlier versions
};

// Which of the launcher's own leftovers `entry` is for the settings file `fileName`, by its name alone.
LeftoverKind leftoverKind(const std::wstring& entry, const std::wstring& fileName);

// Removes from the held `folder` (opened with FILE_LIST_DIRECTORY) each leftover that is a plain file with one
// name and that no other process has open, each through its own handle opened without following links, and
// reports each name removed. The number removed.
int removeLeftovers(HANDLE folder, const std::wstring& fileName,
                    const std::function<void(const std::wstring&)>& removed);

// Gives the newest set-aside settings file in `folder` (a plain file with one name nobody holds) the free name
// `fileName` again; the name it had, or empty when there is none to put back.
std::wstring putBackSetAside(HANDLE folder, const std::wstring& fileName);

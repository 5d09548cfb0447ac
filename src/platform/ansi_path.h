// The ANSI form of a path for the narrow (A) calls, which must name exactly the file the wide path names.
#pragma once

#include <windows.h>

#include <string>

enum class AnsiPathForm {
    Exact,      // every character of the path exists in the ANSI code page
    ShortName,  // the path's short (8.3) name, which has an exact ANSI form
    None,       // neither: an A call would reach another path
};

struct AnsiPath {
    AnsiPathForm form = AnsiPathForm::None;
    std::string path;   // the ANSI text; empty for None
    std::wstring wide;  // the wide path that `path` names (the short name for ShortName)
};

// The ANSI text of `wide` when it converts without loss (no character replaced or approximated).
bool exactAnsi(const std::wstring& wide, std::string& ansi);

// The call that gives a path's short name; tests put one in front of GetShortPathNameW, since a file system
// need not have short names.
using ShortPathFunction = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);

// The ANSI form of an existing path: itself when exact, else its short name when that is exact.
AnsiPath ansiPathOf(const std::wstring& wide, ShortPathFunction shortPath = &GetShortPathNameW);

// Facts about the machine: the Windows version class, 32/64-bit state and system folders.
#pragma once

#include <windows.h>

#include <string>

enum OsVersionClass { WIN_OLD = 0, WIN_XP = 1, WIN_VISTA = 2, WIN_7 = 3, WIN_8 = 4, WIN_8_1 = 5, WIN_NEWER = 6 };

class SysInfo {
public:
    // Filled once before the entry point runs.
    static const OSVERSIONINFOEXW& osVersion();
    static int osVersionClass();
    static int versionClassOf(DWORD major, DWORD minor);

    static bool isWow64();
    static bool isNative64Bit();

    // Folder getters: ANSI text without trailing separators (the module path is returned as is).
    static std::string getProcessModulePath();
    static std::string getTempDir();
    static std::string getSystem32Dir();
    static std::string getSystemWow64Dir();
    static std::string getProgramFilesCommonX86Dir();
};

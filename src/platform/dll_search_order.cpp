// Restricts the library search order of the process before any C++ static initializer runs.
//
// Static initializers already load libraries (the version and folder lookups of sysinfo), and any library
// loaded by name (or one that the system loads on our behalf, such as shell32's helpers) would otherwise be
// searched for beside the executable first: in a downloads folder, where anyone may have put one. The entry
// below sits in the C runtime's initializer table, which runs before the C++ constructors.
// SetDefaultDllDirectories is looked up at run time, as Windows before the 2011 loader update lacks it and
// the launcher must still start there (with its warning).
#include "platform/dll_search_order.h"

#include <windows.h>

namespace {

DllSearchAtStart searchAtStart = DllSearchAtStart::NotRun;

void restrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL WINAPI(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn*>(
        reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        searchAtStart = DllSearchAtStart::SystemFolderOnly;
        return;
    }
    SetDllDirectoryW(L"");
    searchAtStart = DllSearchAtStart::NoCurrentFolder;
}

}  // namespace

// ".CRT$XCB" sorts after the runtime's own C++ set-up entry (".CRT$XCAA") and before the end marker.
extern "C" {
__attribute__((section(".CRT$XCB"), used)) void (*tbxRestrictDllSearch)(void) = restrictDllSearch;
}

DllSearchAtStart dllSearchAtStart() { return searchAtStart; }

// Loading libraries by full path and freeing them with their owner.
#include "platform/dll.h"

#include "platform/tstrings.h"

Dll::Dll(const std::wstring& path) : fileName(path) {
    handle = LoadLibraryW(path.c_str());
    if (!handle) {
        DWORD code = GetLastError();
        TBX_THROW_SYS_AS("Dll::Dll", "LoadLibraryW(" + tstrings::toUtf8(path) + ") failed", &LoadLibraryW, code);
    }
    owned = true;
}

namespace {

// Systems with the 2011 loader update (and all later ones) can keep a library's own dependencies in the
// system folder; its entry points tell whether this one has it.
bool systemFolderSearchAvailable() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel && GetProcAddress(kernel, "AddDllDirectory") != nullptr;
}

}  // namespace

Dll::Dll(const std::wstring& path, DWORD flags) : fileName(path) {
    handle = LoadLibraryExW(path.c_str(), nullptr, flags);
    if (!handle) {
        DWORD code = GetLastError();
        TBX_THROW_SYS_AS("Dll::Dll", "LoadLibraryExW(" + tstrings::toUtf8(path) + ") failed", &LoadLibraryExW, code);
    }
    owned = true;
}

Dll Dll::system(const std::string& name) {
    wchar_t dir[MAX_PATH] = L"";
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        DWORD code = GetLastError();
        TBX_THROW_SYS_AS("Dll::system", "GetSystemDirectoryW failed", &GetSystemDirectoryW, code);
    }
    // A plain load by full path would still look for the library's dependencies (crypt32's msasn1) beside
    // the executable, typically in a downloads folder. Without the search flag, the altered search order
    // starts at the library's own folder, the system folder.
    return Dll(tstrings::toUtf16(tstrings::joinPath(tstrings::toUtf8(dir), name)),
               systemFolderSearchAvailable() ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

Dll::Dll(Dll&& other) noexcept
    : handle(other.handle), owned(std::exchange(other.owned, false)), fileName(std::move(other.fileName)) {}

Dll& Dll::operator=(Dll&& other) noexcept {
    if (this != &other) {
        if (owned && handle) FreeLibrary(handle);
        handle = other.handle;
        owned = std::exchange(other.owned, false);
        fileName = std::move(other.fileName);
    }
    return *this;
}

Dll::~Dll() {
    if (owned && handle) FreeLibrary(handle);
}

FARPROC Dll::getFunction(const char* name) const {
    return handle ? GetProcAddress(handle, name) : nullptr;
}

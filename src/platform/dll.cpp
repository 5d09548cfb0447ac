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

Dll Dll::system(const std::string& name) {
    wchar_t dir[MAX_PATH] = L"";
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        DWORD code = GetLastError();
        TBX_THROW_SYS_AS("Dll::system", "GetSystemDirectoryW failed", &GetSystemDirectoryW, code);
    }
    return Dll(tstrings::toUtf16(tstrings::joinPath(tstrings::toUtf8(dir), name)));
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

// Finding resources in the executable and reading string-table entries in place.
#include "platform/resources.h"

#include "platform/errors.h"
#include "platform/tstrings.h"

Resource::Resource(WORD id_, WORD typeId_, HMODULE module_)
    : name("#" + tstrings::toString(static_cast<uint32_t>(id_))),
      id(id_),
      type("#" + tstrings::toString(static_cast<uint32_t>(typeId_))),
      typeId(typeId_),
      module(module_) {}

Resource::Resource(WORD id_, const std::string& typeName_, HMODULE module_)
    : name("#" + tstrings::toString(static_cast<uint32_t>(id_))),
      id(id_),
      type(typeName_),
      typeId(0),
      typeName(typeName_),
      module(module_) {}

Resource::~Resource() = default;

const void* Resource::getPtr(size_t& size) const {
    const bool isString = typeName.empty() && typeId == 6;  // RT_STRING
    LPCSTR typeArg = typeName.empty() ? MAKEINTRESOURCEA(typeId) : typeName.c_str();
    // String resources live in blocks of 16; the block is what FindResource knows.
    LPCSTR nameArg = MAKEINTRESOURCEA(isString ? id / 16 + 1 : id);
    std::string suffix = " (name='" + name + "', type='" + type + "')";

    HRSRC found = FindResourceA(module, nameArg, typeArg);
    if (!found) {
        DWORD code = GetLastError();
        TBX_THROW_SYS_AS("Resource::getPtr", "cannot find resource" + suffix, &FindResourceA, code);
    }
    if (isString) {
        const wchar_t* text = nullptr;
        int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
        size = length > 0 && text ? static_cast<size_t>(length) * 2 : 0;
        return size ? text : L"";
    }
    size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) {
        DWORD code = GetLastError();
        TBX_THROW_SYS_AS("Resource::getPtr", "cannot load resource" + suffix, &LoadResource, code);
    }
    return LockResource(loaded);
}

StringResource::StringResource(UINT id, HMODULE module) : Resource(static_cast<WORD>(id), 6, module) {}

std::string StringResource::string(const std::string& defaultText) const {
    try {
        size_t size = 0;
        const wchar_t* text = static_cast<const wchar_t*>(getPtr(size));
        return tstrings::toAnsi(std::wstring(text, size / 2));
    } catch (const std::exception& e) {
        logCaughtException(TBX_HERE_AS("StringResource::string"), e);
    } catch (...) {
        logUnknownException(TBX_HERE_AS("StringResource::string"));
    }
    return defaultText;
}

// Run-time loading of system libraries and of functions that older Windows versions lack.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "platform/errors.h"

class Dll {
public:
    // Loads by full path; throws QmbError<SysError> when the library cannot be loaded.
    explicit Dll(const std::wstring& path);
    // Loads a system library ("kernel32", "crypt32") from the system directory, and the libraries it
    // depends on from there too where the system can restrict that; never from anywhere else.
    static Dll system(const std::string& name);

    Dll(Dll&& other) noexcept;
    Dll& operator=(Dll&& other) noexcept;
    Dll(const Dll&) = delete;
    Dll& operator=(const Dll&) = delete;
    ~Dll();

    // Null when the library lacks the function.
    FARPROC getFunction(const char* name) const;
    HMODULE get() const { return handle; }
    const std::wstring& name() const { return fileName; }

private:
    Dll(const std::wstring& path, DWORD flags);

    HMODULE handle = nullptr;
    bool owned = false;
    std::wstring fileName;
};

template <class Signature>
class DllFunction {
public:
    DllFunction(Dll&& dll_, const char* name_)
        : dll(std::move(dll_)), name(name_), address(reinterpret_cast<Signature*>(
                                                 reinterpret_cast<void*>(dll.getFunction(name_)))) {}

    bool available() const { return address != nullptr; }

    // Callers test available() first; the throw only guards misuse.
    operator Signature*() const {
        if (!address) TBX_THROW(std::runtime_error, "function " + name + " is not available");
        return address;
    }

private:
    Dll dll;
    std::string name;
    Signature* address;
};

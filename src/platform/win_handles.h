// Move-only owners of kernel handles and system-allocated memory (registry keys: platform/registry_key.h).
#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

// Close a handle or key; a failed close is logged, never thrown.
void closeHANDLE(HANDLE handle);
void closeRegHandle(HKEY key);
void closeFindHandle(HANDLE find);

template <class T>
T nullValue() { return T(); }
inline HANDLE invalidHandleValue() { return INVALID_HANDLE_VALUE; }

// Owns one value; Invalid gives the value that means "none", which is never released.
template <class T, void (*Release)(T), T (*Invalid)() = nullValue<T>>
class Owned {
public:
    Owned() = default;
    explicit Owned(T value) : value_(value) {}
    Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, Invalid())) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Invalid()));
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    T get() const { return value_; }
    T* receive() { reset(); return &value_; }
    T release() { return std::exchange(value_, Invalid()); }
    void reset(T value = Invalid()) {
        T old = std::exchange(value_, value);
        if (old != Invalid()) Release(old);
    }
    explicit operator bool() const { return value_ != Invalid(); }

private:
    T value_ = Invalid();
};

namespace win_handles_detail {
void freeCoTaskBlock(void* p);

template <class Pointer>
void freeLocal(Pointer p) {
    static_assert(std::is_pointer<Pointer>::value, "LocalMemory holds a pointer type");
    LocalFree(p);
}
template <class Pointer>
void freeCoTask(Pointer p) {
    static_assert(std::is_pointer<Pointer>::value, "CoTaskMemory holds a pointer type");
    freeCoTaskBlock(p);
}
}  // namespace win_handles_detail

using UniqueHandle = Owned<HANDLE, closeHANDLE>;
// What CreateFile returns: INVALID_HANDLE_VALUE, not null, means no file.
using UniqueFile = Owned<HANDLE, closeHANDLE, invalidHandleValue>;
// What FindFirstFile returns; closed with FindClose.
using UniqueFind = Owned<HANDLE, closeFindHandle, invalidHandleValue>;
// Memory the system allocated with LocalAlloc (or CoTaskMemAlloc) and handed out as `Pointer`, the type the
// call documents (PSECURITY_DESCRIPTOR, PSID, LPSTR, LPWSTR*, BYTE*): `receive()` is then exactly the call's
// out-parameter and `get()` needs no cast.
template <class Pointer>
using LocalMemory = Owned<Pointer, win_handles_detail::freeLocal<Pointer>>;
template <class Pointer>
using CoTaskMemory = Owned<Pointer, win_handles_detail::freeCoTask<Pointer>>;

// The process and thread handles that CreateProcess fills in; closes both.
class UniqueProcessInformation {
public:
    UniqueProcessInformation() = default;
    UniqueProcessInformation(const UniqueProcessInformation&) = delete;
    UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;
    ~UniqueProcessInformation() { reset(); }

    // For CreateProcess: closes what is held and hands out a zeroed record.
    PROCESS_INFORMATION* receive() {
        reset();
        return &info_;
    }
    const PROCESS_INFORMATION& get() const { return info_; }
    HANDLE process() const { return info_.hProcess; }
    void reset() {
        closeHANDLE(std::exchange(info_.hProcess, nullptr));
        closeHANDLE(std::exchange(info_.hThread, nullptr));
        info_ = PROCESS_INFORMATION{};
    }

private:
    PROCESS_INFORMATION info_{};
};

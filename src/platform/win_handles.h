// Move-only owners of kernel handles, registry keys and system-allocated memory.
#pragma once

#include <windows.h>

#include <utility>

// Close a handle or key; a failed close is logged, never thrown.
void closeHANDLE(HANDLE handle);
void closeRegHandle(HKEY key);

template <class T, void (*Release)(T)>
class Owned {
public:
    Owned() = default;
    explicit Owned(T value) : value_(value) {}
    Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, T())) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, T()));
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    T get() const { return value_; }
    T* receive() { reset(); return &value_; }
    T release() { return std::exchange(value_, T()); }
    void reset(T value = T()) {
        T old = std::exchange(value_, value);
        if (old) Release(old);
    }
    explicit operator bool() const { return value_ != T(); }

private:
    T value_ = T();
};

namespace win_handles_detail {
inline void freeLocal(void* p) { LocalFree(p); }
void freeCoTask(void* p);
}  // namespace win_handles_detail

using UniqueHandle = Owned<HANDLE, closeHANDLE>;
using UniqueRegKey = Owned<HKEY, closeRegHandle>;
using LocalMemory = Owned<void*, win_handles_detail::freeLocal>;
using CoTaskMemory = Owned<void*, win_handles_detail::freeCoTask>;

// A named mutex owned by a thread of its own for the life of the object, as another process's would be.
#pragma once

#include <windows.h>

#include <thread>

#include "platform/win_handles.h"

namespace testing_support {

class MutexHeldElsewhere {
public:
    explicit MutexHeldElsewhere(const char* name) {
        owner = std::thread([this, name] {
            UniqueHandle mutex(CreateMutexA(nullptr, TRUE, name));
            SetEvent(owned.get());
            WaitForSingleObject(done.get(), INFINITE);
            ReleaseMutex(mutex.get());
        });
        WaitForSingleObject(owned.get(), INFINITE);
    }
    ~MutexHeldElsewhere() {
        SetEvent(done.get());
        owner.join();
    }
    MutexHeldElsewhere(const MutexHeldElsewhere&) = delete;
    MutexHeldElsewhere& operator=(const MutexHeldElsewhere&) = delete;

private:
    UniqueHandle owned{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::thread owner;
};

}  // namespace testing_support

// The run's held payload entries and its tampering outcome.
#include "launcher/run_holds.h"

#include "platform/logger.h"

namespace {

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& lock_) : lock(lock_) { EnterCriticalSection(&lock); }
    ~Locked() { LeaveCriticalSection(&lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& lock;
};

}  // namespace

RunHolds::RunHolds() { InitializeCriticalSection(&lock); }

RunHolds::~RunHolds() {
    release();
    DeleteCriticalSection(&lock);
}

void RunHolds::hold(UniqueFile entry, const std::string& key) {
    Locked locked(lock);
    entries.emplace_back(key, std::move(entry));
}

HANDLE RunHolds::find(const std::string& key) const {
    Locked locked(lock);
    for (const auto& entry : entries)
        if (!key.empty() && entry.first == key) return entry.second.get();
    return nullptr;
}

void RunHolds::release() {
    std::vector<std::pair<std::string, UniqueFile>> released;
    {
        Locked locked(lock);
        released.swap(entries);
    }
}

void RunHolds::reportTampering(const char* function, const std::string& what) {
    tamperingSeen = true;
    TBX_LOG_AS(function, LOG_ERROR, what);
}

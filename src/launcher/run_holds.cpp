// The run's held payload entries and its tampering outcome.
#include "launcher/run_holds.h"

#include "platform/logger.h"

RunHolds::~RunHolds() { release(); }

void RunHolds::hold(UniqueFile entry, const std::string& key) { entries.emplace_back(key, std::move(entry)); }

HANDLE RunHolds::find(const std::string& key) const {
    for (const auto& entry : entries)
        if (!key.empty() && entry.first == key) return entry.second.get();
    return nullptr;
}

void RunHolds::release() { entries.clear(); }

void RunHolds::reportTampering(const char* function, const std::string& what) {
    tamperingSeen = true;
    TBX_LOG_AS(function, LOG_ERROR, what);
}

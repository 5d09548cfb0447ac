// What one run holds below the launcher (payload files and folders, opened and checked) and whether anything
// there was found changed by someone else.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win_handles.h"

class RunHolds {
public:
    RunHolds() = default;
    // Closes what is still held.
    ~RunHolds();
    RunHolds(const RunHolds&) = delete;
    RunHolds& operator=(const RunHolds&) = delete;

    // Keeps `entry` open until release (the engine reads the payload after the writer is done). `key` names it
    // for find and releaseWhere.
    void hold(UniqueFile entry, const std::string& key = std::string());
    // The held entry named `key`, null when there is none; it stays owned here until release.
    HANDLE find(const std::string& key) const;
    // Closes every held payload file and folder: the engine runs that read them have ended.
    void release();
    // Closes the held entries whose key `matches` says; the others stay held.
    template <class Matches>
    void releaseWhere(Matches matches);

    // One ERROR record naming `function`, and the run is marked as tampered with.
    void reportTampering(const char* function, const std::string& what);
    bool tampered() const { return tamperingSeen; }

private:
    std::vector<std::pair<std::string, UniqueFile>> entries;
    bool tamperingSeen = false;
};

template <class Matches>
void RunHolds::releaseWhere(Matches matches) {
    for (auto entry = entries.begin(); entry != entries.end();)
        entry = matches(entry->first) ? entries.erase(entry) : entry + 1;
}

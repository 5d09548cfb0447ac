// What one run holds below the launcher (payload files and folders, opened and checked) and whether anything
// there was found changed by someone else; shared by the run's threads.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "platform/win_handles.h"

class RunHolds {
public:
    RunHolds();
    // Closes what is still held.
    ~RunHolds();
    RunHolds(const RunHolds&) = delete;
    RunHolds& operator=(const RunHolds&) = delete;

    // Keeps `entry` open until release (the engine reads the payload after the writer is done). `key` names a
    // held folder for find.
    void hold(UniqueFile entry, const std::string& key = std::string());
    // The held entry named `key`, null when there is none; it stays owned here until release.
    HANDLE find(const std::string& key) const;
    // Closes every held payload file and folder: the engine runs that read them have ended.
    void release();

    // One ERROR record naming `function`, and the run is marked as tampered with.
    void reportTampering(const char* function, const std::string& what);
    bool tampered() const { return tamperingSeen; }
    // A changed payload file could not be removed: the engine must never be told to read it.
    void markTamperedFileRemains() { tamperedFileLeft = true; }
    bool tamperedFileRemains() const { return tamperedFileLeft; }

private:
    mutable CRITICAL_SECTION lock;
    std::vector<std::pair<std::string, UniqueFile>> entries;
    std::atomic<bool> tamperingSeen{false};
    std::atomic<bool> tamperedFileLeft{false};
};

// The recording msiexec in place of the engine: what a program under test would start, and what it was asked.
#pragma once

#include <string>
#include <vector>

#include "platform/registry_key.h"

namespace testing_support {

// Points "InstallerLocation" somewhere else while it lives; puts the previous value back after, or removes the
// value when there was none.
class InstallerLocationOverride {
public:
    InstallerLocationOverride();
    ~InstallerLocationOverride();
    InstallerLocationOverride(const InstallerLocationOverride&) = delete;
    InstallerLocationOverride& operator=(const InstallerLocationOverride&) = delete;
    void set(const std::string& folder);
    void remove();

private:
    RegistryKey key;
    bool hadValue = false;
    std::string previous;
};

// msirecorder copied as msiexec.exe into a folder of its own, which the installer location names, with its
// record file named in the inherited environment; all of it is undone on destruction.
class RecordingEngine {
public:
    RecordingEngine();
    ~RecordingEngine();
    RecordingEngine(const RecordingEngine&) = delete;
    RecordingEngine& operator=(const RecordingEngine&) = delete;

    const std::string& folder() const { return folder_; }
    std::string msiexec() const { return folder_ + "\\msiexec.exe"; }
    const std::string& recordPath() const { return record_; }
    InstallerLocationOverride& location() { return location_; }
    // What the engine returns, run by run (one code, or several separated as the recorder reads them).
    void setExit(const std::string& codes) const;
    void clearRecord() const;
    // The record's lines, and the command lines of its "cmd " lines without that prefix; both without the engine
    // log switch the launcher appends to each engine run.
    std::vector<std::string> records() const;
    std::vector<std::string> commandLines() const;
    // The engine log each "cmd " line asked for, in order; empty for a run without one.
    std::vector<std::string> engineLogs() const;

    // The recording engine in use, the latest made of those alive; null when there is none.
    static const RecordingEngine* active();

private:
    InstallerLocationOverride location_;
    const RecordingEngine* previous_ = nullptr;
    std::string folder_;
    std::string record_;
};

}  // namespace testing_support

// The Windows Installer's own verbose log of each engine run the launcher starts: one file per run of the engine,
// beside the launcher's log, named so that the runs of the launcher and the packages of a run sort in order.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Every engine log name starts with this, and the launcher prunes only names that do.
constexpr const char* kEngineLogPrefix = "tbx-msi-";
// The launcher runs whose engine logs are kept, this run among them.
constexpr size_t kEngineLogRunsKept = 5;

// "20261211-142501-00004242": the local start time and process id of a run; runs sort by it.
std::string engineLogRunStamp(const SYSTEMTIME& time, DWORD processId);

// "tbx-msi-<stamp>-<nn>-<package>.log": the `sequence`th engine run of the run `stamp`.
std::string engineLogName(const std::string& stamp, int sequence, const char* package);

// Removes the engine logs of all but the newest `runsKept` launcher runs from `folder` (UTF-8): plain files whose
// names have the engine log form only, never a folder or a link. The number removed.
int pruneEngineLogs(const std::string& folder, size_t runsKept);

class EngineLogs {
public:
    // Off: no engine run gets a log switch.
    EngineLogs() = default;
    // Logs of the run `stamp` in `folder`, as the engine's command lines carry it (ANSI, without a trailing
    // separator); `shownFolder` is the same folder in UTF-8, for the launcher's records (empty: `folder`).
    EngineLogs(std::string folder, std::string stamp, std::string shownFolder = std::string())
        : folder_(std::move(folder)), stamp_(std::move(stamp)), shown_(std::move(shownFolder)) {
        if (shown_.empty()) shown_ = folder_;
    }

    bool on() const { return !folder_.empty(); }
    const std::string& folder() const { return folder_; }
    // " /l*v \"<path>\"" for the next engine run, which installs or removes `package`, and an INFO record that
    // names the file; empty when off. Each call names a new file.
    std::string switchFor(const char* package);

private:
    std::string folder_;
    std::string stamp_;
    std::string shown_;
    int runs_ = 0;
};

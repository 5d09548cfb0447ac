// The per-machine package cache: the folders from the volume root down to this run's own folder, held by the run,
// the payload written into that folder whole before anything changes, and what stays once the run is over.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "launcher/payload.h"
#include "launcher/run_holds.h"

class PackageCache {
public:
    // The folders and files are held in `holds`, which outlives this object.
    explicit PackageCache(RunHolds& holds_) : holds(&holds_) {}

    // Holds every folder from the volume root of `programData` down to the new folder `runName` below this
    // product's build folder: the system's folders as they are, the cache's own trusted or set aside and made
    // anew, the run's folder made new. False after an ERROR record (tampering reported in the holds).
    bool holdRunFolder(const std::string& programData, bool is64, const std::string& runName);
    const std::string& runFolder() const { return runPath; }

    // Writes every payload file `module` carries into the run's folder, each verified by reading it back and
    // held against writers and deleters; stops at the first failure. A file the module does not carry is left
    // out (the plan has refused a run without the kit database).
    PayloadWriteResult write(HMODULE module, WriteFileFunction writeFile = &WriteFile);
    // Whether `name` was written into the run's folder.
    bool wrote(const std::string& name) const;

    // Once the run is over: after an install, this run's folder stays as the kit's repair source and every other
    // build's and run's folder of this product is removed; otherwise this run's folder is removed and the others
    // stay. Best effort: what cannot be removed now is logged and left for a later run.
    void settle(bool installed);

private:
    void removeOthers(const std::string& parentPath, const std::string& keep);
    void removeRunFolder();

    RunHolds* holds;
    std::string productPath;
    std::string buildPath;
    std::string runPath;
    std::string runName;
    std::vector<std::string> written;
};

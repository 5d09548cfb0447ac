// Holding, filling and settling the run's folder of the per-machine package cache.
#include "launcher/package_cache.h"

#include "launcher/package_cache_layout.h"
#include "launcher/payload_folders.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/relative_entries.h"
#include "platform/tstrings.h"

namespace {

constexpr const char* kFunction = "PackageCache";
// A build's folder holds run folders, which hold files: nothing of the cache's own lies deeper.
constexpr int kRemovalDepth = 2;

// The folders of `path` below its volume root ("C:\ProgramData" gives "ProgramData").
std::vector<std::string> foldersBelowRoot(const std::string& path) {
    std::vector<std::string> names;
    size_t start = 3;
    while (start < path.size()) {
        const size_t end = path.find('\\', start);
        const std::string name = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!name.empty()) names.push_back(name);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return names;
}

}  // namespace

bool PackageCache::holdRunFolder(const std::string& programData, bool is64, const std::string& name) {
    const std::string base = tstrings::stripTrailingSeparators(programData);
    // Only a local drive's folder can be held from its root down.
    if (base.size() < 3 || base[1] != ':' || base[2] != '\\') {
        holds->reportTampering(kFunction, "The common application data folder " + programData +
                                              " is not on a drive of this machine; no payload is written there.");
        return false;
    }
    std::vector<std::string> names = foldersBelowRoot(base);
    const size_t systemFolders = names.size();
    for (const std::string& cacheName : packageCacheLayout::folderNames(is64, name)) names.push_back(cacheName);
    std::vector<ChainLink> chain;
    for (size_t i = 0; i < names.size(); ++i) {
        const FolderRole role = i < systemFolders ? FolderRole::System
                                : i + 1 < names.size() ? FolderRole::Protected
                                                       : FolderRole::Fresh;
        chain.push_back({names[i].c_str(), role, nullptr});
    }
    if (!holdFolderChain(*holds, base.substr(0, 2).c_str(), chain.data(), chain.size(), kFunction)) return false;
    productPath = packageCacheLayout::productFolderPath(base, is64);
    buildPath = productPath + "\\" + packageCacheLayout::buildFolderName();
    runPath = buildPath + "\\" + name;
    runName = name;
    return true;
}

PayloadWriteResult PackageCache::write(HMODULE module, WriteFileFunction writeFile) {
    if (runPath.empty()) return {ERROR_PATH_NOT_FOUND, "Installer : Wrapper.CreateFile "};
    for (const packageCacheLayout::PayloadFile& file : packageCacheLayout::payloadFiles()) {
        HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(file.id), file.type);
        if (!resource) continue;
        const PayloadWriteResult result =
            WriteResourceToFile(*holds, module, (runPath + "\\" + file.name).c_str(), resource, writeFile);
        if (!result.ok()) return result;
        written.push_back(file.name);
    }
    return {};
}

bool PackageCache::wrote(const std::string& name) const {
    for (const std::string& file : written)
        if (file == name) return true;
    return false;
}

void PackageCache::settle(bool installed) {
    if (runPath.empty()) return;
    if (!installed) {
        removeRunFolder();
        return;
    }
    TBX_LOG_AS(kFunction, LOG_INFO, "The package cache keeps " + runPath + " as the kit's repair source.");
    removeOthers(productPath, packageCacheLayout::buildFolderName());
    removeOthers(buildPath, runName);
}

void PackageCache::removeOthers(const std::string& parentPath, const std::string& keep) {
    const HANDLE parent = heldFolder(*holds, parentPath);
    std::vector<FolderEntry> entries;
    if (!parent || listFolder(parent, entries) != ERROR_SUCCESS) return;
    for (const FolderEntry& entry : entries) {
        const std::string name = tstrings::toUtf8(entry.name);
        if (_stricmp(name.c_str(), keep.c_str()) == 0) continue;
        const std::string path = parentPath + "\\" + name;
        if (const DWORD error = removeEntryTree(parent, entry.name, kRemovalDepth)) {
            TBX_LOG_AS(kFunction, LOG_WARNING,
                       "The package cache's " + path + " cannot be removed now (" + systemErrorText(error) +
                           "); a later run removes it.");
            continue;
        }
        TBX_LOG_AS(kFunction, LOG_INFO, "Removed from the package cache: " + path);
    }
}

void PackageCache::removeRunFolder() {
    // Our own holds keep the folder and its files in place: let them go first, the folders above stay held.
    holds->releaseWhere([this](const std::string& key) { return heldKeyWithin(key, runPath); });
    const HANDLE build = heldFolder(*holds, buildPath);
    const DWORD error = build ? removeEntryTree(build, tstrings::toUtf16(runName), 1) : ERROR_INVALID_HANDLE;
    if (error) {
        TBX_LOG_AS(kFunction, LOG_WARNING,
                   "This run's payload " + runPath + " cannot be removed now (" + systemErrorText(error) +
                       "); a later successful run removes it.");
        return;
    }
    TBX_LOG_AS(kFunction, LOG_INFO, "Nothing was installed from " + runPath + "; it is removed.");
}

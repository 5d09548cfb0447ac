// The uninstall as a pure function: from the options and what the machine holds of this version, the ordered
// removals (each product with its engine command line), the refusal that stops it before the first one, and the
// exit code it expects; and, once it has run, its exit code and what it left.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launcher/run_options.h"
#include "launcher/run_plan.h"

// The payload folders launchers before the package cache left below one account's per-user data folder.
struct PerUserLeftovers {
    std::string dataFolder;         // that account's per-user data folder (LocalLow)
    bool kitPayload = false;        // the kit's payload folder of this version
    bool autoUpdatePayload = false; // the auto-update database's folder
};

// What the machine holds that an uninstall of this version may remove; gathered by read-only probes.
struct UninstallFacts {
    std::string msiexecPath;          // empty: the engine cannot be found
    bool guardHeld = false;           // another installation of the kit runs
    bool installerBusy = false;       // another installation holds the Windows Installer now
    bool kitKeyPresent = false;       // the kit's key of this version, any build
    std::string kitCode;
    bool kitCodeRegistered = false;
    std::string runtimeCode;
    bool runtimeCodeRegistered = false;
    bool autoUpdateRegistered = false;
    std::vector<std::string> otherKitVersions;  // installed kits of other versions: they keep the auto-update
    std::string programDataFolder;    // the common application data folder; empty when it cannot be found
    bool is64 = true;
    bool packageCachePresent = false;      // this product's folder in the package cache
    std::vector<PerUserLeftovers> perUser;  // each account's (the running one's first) that holds any
    bool settingsFilePresent = false;
    bool updatePolicyPresent = false;
};

enum class UninstallActionKind {
    Product,       // the engine removes a product by its code
    Folder,        // a folder and everything in it, through held handles, links removed and never followed
    SettingsFile,  // the runtime settings file, through the handle the configuration holds it by
    RegistryKey,   // a key of the 32-bit view with everything below it
};

struct UninstallAction {
    UninstallActionKind kind = UninstallActionKind::Product;
    std::string what;     // in words, for /check and the records
    std::string code;     // Product: its product code
    std::string command;  // Product: the engine's whole command line, without its engine log
    const char* package = "";  // Product: what its engine log is named after
    // Folder: the folder held by its path, and the names below it down to the folder removed.
    std::string base;
    std::vector<std::string> names;
    std::string path;     // Folder, SettingsFile: the whole path; RegistryKey: the key below HKEY_LOCAL_MACHINE
};

struct UninstallPlan {
    std::optional<Refusal> refusal;
    std::vector<UninstallAction> actions;  // in order
    bool productsRemoved = false;          // an engine runs: the Windows Installer must be free
    bool nothingInstalled = false;         // no product of this version nor the auto-update component is registered
    std::string autoUpdateKept;            // why the auto-update component stays, empty when it does not
    int expectedExitCode = 0;
    std::string expectation;
};

UninstallPlan planUninstall(const RunOptions& options, const UninstallFacts& facts);

// The run's exit code from the engines' codes of the products removed so far, in order: the first failure's
// code, else 1641 when Windows is restarting, else 3010 when a removal wants a restart, else 0.
int uninstallExitCode(const std::vector<int>& engineCodes);

// Whether the engine removed the product (0, 1707, 3010, 1641).
bool removalSucceeded(int engineCode);

// What stays when the run stops before action `next` (everything from it on), in words for the record.
std::string uninstallLeftovers(const UninstallPlan& plan, size_t next);

// What /check prints and logs for an uninstall.
std::string uninstallPlanText(const UninstallPlan& plan, const RunOptions& options, const UninstallFacts& facts);

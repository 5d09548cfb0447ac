// Removal of an installed kit or runtime of this version before the kit is installed again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "process/engine_logs.h"

// Whether `code` has an entry below the Uninstall key of the 64-bit (or 32-bit) registry view.
bool isProductCodeRegistered(const std::string& code, bool view64);
// Runs "msiexec /x <code>" quietly and never lets it restart the machine; the engine's exit code, 1627 when it
// cannot be started.
DWORD uninstallProductCode(const std::string& code, bool silent, EngineLogs* logs = nullptr,
                           const char* package = "removal");
// Removes the runtime of this version when its product code is registered: 0 when it is not, else the engine's
// exit code (3010 is a removal that wants a restart).
DWORD CheckGUIDAndUninstall(int arch, bool view64, bool silent);
// Removes the kit of this version; true only when the engine removed it. A removal that wants a restart sets
// *rebootRequired.
bool UninstallExistingTBX(bool silent, bool* rebootRequired = nullptr);
// What is registered of this version, read without changing anything.
struct SameVersionFacts {
    bool kitInstalled = false;           // the kit's key of this version exists
    bool kitSameOrOlderBuild = false;    // ... with this launcher's build or an older one
    std::string kitCode;
    bool kitCodeRegistered = false;
    bool runtimeInstalled = false;
    bool runtimeSameOrOlderBuild = false;
    bool runtimeStatic = false;          // a side-by-side runtime is never removed
    std::string runtimeCode;
    bool runtimeCodeRegistered = false;
};
SameVersionFacts probeSameVersion();

// One product the run removes before it installs.
struct ProductRemoval {
    bool isKit = false;
    std::string code;
};

// What the run does about an installed kit or runtime of this version; decided from the facts alone.
struct SameVersionDecision {
    enum class Verdict { Proceed, NewerBuild, KitNotRegistered };
    Verdict verdict = Verdict::Proceed;
    std::vector<ProductRemoval> removals;  // kit first, then runtime
};
SameVersionDecision decideSameVersion(const SameVersionFacts& facts);

// The engine's arguments that remove `code` (after the engine's quoted path).
std::string removalArguments(const std::string& code, bool silent);

// Logs what the decision found, as the removal always has, under the removal's own name.
void logSameVersionDecision(const SameVersionFacts& facts, const SameVersionDecision& decision);

// Removes each product in order; false at the first one the engine did not remove (logged). A removal that wants
// a restart (3010) sets *rebootRequired. With `logs`, each removal writes its engine log there.
bool applyRemovals(const std::vector<ProductRemoval>& removals, bool silent, bool* rebootRequired,
                   EngineLogs* logs = nullptr);

// True when the installation may proceed: a same-version kit of the same or an older build and a non-static
// same-version runtime are removed first; a newer kit build stops it (with a message unless silent). A removal that
// wants a restart (3010) still lets it proceed and sets *rebootRequired.
bool UninstallPLNOrTBXIfSameVersionExists(bool silent, bool* rebootRequired = nullptr);

// The public runtime installer that the fresh kit carries, run elevated only as the very file that was checked.
#pragma once

#include "process/engine_logs.h"

// Opens "pln.exe" in the kit home once, without following links, and holds it (and the kit home) against
// writing, renaming and deleting; runs it only when it has one name and it and the kit home pass the trust
// check, then deletes it through the same handle. An untrusted installer is neither run nor deleted, and a
// WARNING says why. Nothing here changes the run's exit code.
// With `logs`, the runtime installer is asked for the engine's log there (it passes the switch on to the engine).
void installPublicRuntime(const char* publicRuntimeDir, bool noStartMenu, bool reallySuppress,
                          EngineLogs* logs = nullptr);

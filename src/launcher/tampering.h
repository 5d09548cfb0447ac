// What the run does when something below the elevated launcher has changed what it relies on.
#pragma once

#include <string>

#include "process/exit_codes.h"  // kExitTampered, the code such a run ends with

// Writes one ERROR record naming `function` and marks the run as stopped; any thread may call it.
void reportTampering(const char* function, const std::string& what);

// True once reportTampering was called in this process.
bool tamperingDetected();

// Marks that a changed payload file could not be removed, so the engine must never be told to read it.
void markTamperedPayloadRemains();
bool tamperedPayloadRemains();

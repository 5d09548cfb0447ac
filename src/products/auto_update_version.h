// The installed auto-update component's version against the one this installer carries.
#pragma once

#include <cstddef>

// The "AUVersion" text into `buffer` (2048 bytes, zeroed first); false when it cannot be read.
bool readAUVersion(char (&buffer)[2048]);
// True when the installed version reads and is older than this installer's; parse errors propagate.
bool isOwnAUNewer();
// True when no version reads, or the installed one is older than this installer's; parse errors propagate.
bool isAUUpgradeNeeded();

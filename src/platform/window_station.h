// Whether a person can see the launcher's windows, and the one decision every message box goes through.
#pragma once

#include <windows.h>

// True when `station` is visible (UOI_FLAGS has WSF_VISIBLE). A station whose flags cannot be read counts as
// invisible: a box no one can see would wait for ever.
bool isWindowStationVisible(HWINSTA station);

// The process's own window station, looked at once: session 0, services and tasks without a desktop have an
// invisible one.
bool processWindowStationVisible();

// May the launcher show a message box? Only when the run is not silent and someone can see it; otherwise the
// box's ERROR or WARNING record is the whole report.
bool mayShowBox(bool silent);

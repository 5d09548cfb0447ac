// The named event that tells the kit database the cabinets are complete, created by this launcher alone.
#pragma once

#include "platform/win_handles.h"

// Creates "LumoTBXCabExtractWaitEvent" unsignalled; the run keeps it until the engine runs are over. Empty
// (after an ERROR record) when the event cannot be created or already existed: then another program made it and
// may set it, telling the engine that cabinets are complete while they are still being written.
UniqueHandle CreateCabExtractEvent();

// The named event that tells the kit database the cabinets are complete, created by this launcher alone.
#pragma once

// Creates "LumoTBXCabExtractWaitEvent" unsignalled and keeps it to the end of the process. False (with an
// ERROR record) when the event cannot be created or already existed: then another program made it and may
// set it, telling the engine that cabinets are complete while they are still being written.
bool CreateCabExtractEvent();

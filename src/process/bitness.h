// Whether the launcher runs in a 32-bit environment, which selects folder names, registry views and product codes.
#pragma once

// True when the native processor is not x64 or the process runs under WOW64.
bool Is32BitEnvironment();

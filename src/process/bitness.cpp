// The 32/64-bit test shared by the payload, the flow and installed-product management.
#include "process/bitness.h"

#include <windows.h>

#include "platform/sysinfo.h"

bool Is32BitEnvironment() {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_AMD64 || SysInfo::isWow64();
}

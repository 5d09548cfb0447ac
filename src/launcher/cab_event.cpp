// The cabinet event: ours from the start, or the run stops.
#include "launcher/cab_event.h"

#include <windows.h>
#include <sddl.h>

#include <string>

#include "launcher/payload.h"
#include "platform/errors.h"
#include "platform/logger.h"
#include "platform/win_handles.h"

namespace {

// SYSTEM and administrators may do anything with the event, everyone else may only wait for it (the kit
// database's custom action waits; nothing but the launcher sets it).
constexpr const wchar_t* kEventSecurity = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100000;;;WD)";

}  // namespace

UniqueHandle CreateCabExtractEvent() {
    LocalMemory<PSECURITY_DESCRIPTOR> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kEventSecurity, SDDL_REVISION_1, descriptor.receive(),
                                                              nullptr)) {
        DWORD code = GetLastError();
        TBX_LOG_AS("WinMain", LOG_ERROR, "The event's access list cannot be built: " + systemErrorText(code));
        return UniqueHandle();
    }
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    UniqueHandle event(CreateEventA(&security, TRUE, FALSE, kCabExtractEventName));
    DWORD code = GetLastError();
    if (!event) {
        TBX_LOG_AS("WinMain", LOG_ERROR,
                   std::string("CreateEventA(") + kCabExtractEventName + ") failed with " + systemErrorText(code));
        return UniqueHandle();
    }
    if (code == ERROR_ALREADY_EXISTS) {
        TBX_LOG_AS("WinMain", LOG_ERROR,
                   std::string("The event ") + kCabExtractEventName +
                       " exists already: another program made it and could tell the installer that the cabinets are "
                       "complete. Exiting installer.");
        return UniqueHandle();
    }
    return event;
}

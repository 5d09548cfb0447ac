// Whether a person can see the launcher's windows, and the one decision every message box goes through.
#include "platform/window_station.h"

#include "platform/logger.h"

bool isWindowStationVisible(HWINSTA station) {
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return false;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool processWindowStationVisible() {
    static const bool visible = [] {
        const bool seen = isWindowStationVisible(GetProcessWindowStation());
        if (!seen)
            TBX_LOG_AS("processWindowStationVisible", LOG_INFO,
                       "The window station is not visible: no message box is shown, its record is the report.");
        return seen;
    }();
    return visible;
}

bool mayShowBox(bool silent) { return !silent && processWindowStationVisible(); }

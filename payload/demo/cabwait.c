/* Custom action of the demo kit: waits until the launcher has written every cabinet file. */
#include <windows.h>

#define EVENT_NAME "LumoTBXCabExtractWaitEvent"
#define APPEAR_LIMIT_MS 60000
#define SIGNAL_LIMIT_MS 300000

int main(void) {
    HANDLE event = NULL;
    DWORD waited = 0;
    /* The launcher creates the event before it starts the engine; a missing one may still be on its way. */
    while (!(event = OpenEventA(SYNCHRONIZE, FALSE, EVENT_NAME))) {
        if (waited >= APPEAR_LIMIT_MS) return 2;
        Sleep(50);
        waited += 50;
    }
    DWORD result = WaitForSingleObject(event, SIGNAL_LIMIT_MS);
    CloseHandle(event);
    return result == WAIT_OBJECT_0 ? 0 : 1;
}

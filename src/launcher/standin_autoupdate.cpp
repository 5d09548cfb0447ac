// Stand-in for the auto-update installation; the real auto-update component replaces this file.
#include "standin_autoupdate.h"

int InstallAutoUpdate(const char*, bool) { return 0; }

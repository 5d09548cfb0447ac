// String-table ids of the installation flow (the string tables beside this file hold the texts).
#pragma once

#define IDS_WARNING_CAPTION 115
#define IDS_IN_PROGRESS_CAPTION 116
#define IDS_IN_PROGRESS_TEXT 117
#define IDS_OLD_WINDOWS_TEXT 120
#define IDS_NEWER_BUILD_TEXT 2048
#define IDS_NEWER_BUILD_CAPTION 2049
#define IDS_INSTALLER_BUSY_CAPTION 2050
#define IDS_INSTALLER_BUSY_TEXT 2051
#define IDS_HELP_CAPTION 2052

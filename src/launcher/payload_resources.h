// Types and ids of the payload resources; shared by the C++ code and the resource script.
#pragma once

#define TBX_RES_TYPE_INSTALLER "ZOLT_INSTALLER"
#define TBX_RES_KIT_MSI 101
#define TBX_RES_AU_MSI 105
#define TBX_RES_CAB_SJ 108
#define TBX_RES_CAB_SS 110
#define TBX_RES_CAB_ST 111
#define TBX_RES_CAB_SZ 112

/* String-table ids of the installation flow. */
#define IDS_WARNING_CAPTION 115
#define IDS_IN_PROGRESS_CAPTION 116
#define IDS_IN_PROGRESS_TEXT 117
#define IDS_OLD_WINDOWS_TEXT 120
#define IDS_NEWER_BUILD_TEXT 2048
#define IDS_NEWER_BUILD_CAPTION 2049

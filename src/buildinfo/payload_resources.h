// Types and ids of the payload resources; shared by the C++ code and the resource script.
#pragma once

#define TBX_RES_TYPE_INSTALLER "ZOLT_INSTALLER"
#define TBX_RES_KIT_MSI 101
#define TBX_RES_AU_MSI 105
#define TBX_RES_CAB_SJ 108
#define TBX_RES_CAB_SS 110
#define TBX_RES_CAB_ST 111
#define TBX_RES_CAB_SZ 112

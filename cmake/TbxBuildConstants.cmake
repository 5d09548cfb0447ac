# Build constants of the launcher and the payload it embeds, fixed at configure time.
# A release build names its own version and payload files; the defaults build the demo kit.

set(TBX_PRODUCT_VERSION "1.9.3_17" CACHE STRING "Short product version, major.minor.micro_update")
set(TBX_FULL_VERSION "1.9.3_17-b12" CACHE STRING "Full product version: the short version, -b and the build number")
set(TBX_BUILD_NUMBER "12" CACHE STRING "Build number")
set(TBX_FAMILY_NUMBER "9" CACHE STRING "Product family number, the major number shown to users")
set(TBX_AU_VERSION "2.8.3.7" CACHE STRING "Version of the auto-update component carried in the payload")
set(TBX_AU_BASELINE_VERSION "2.1.9.0" CACHE STRING "Auto-update baseline version")

if(NOT TBX_PRODUCT_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)_([0-9]+)$")
  message(FATAL_ERROR "TBX_PRODUCT_VERSION must look like 1.9.3_17, not '${TBX_PRODUCT_VERSION}'")
endif()
set(TBX_VERSION_MAJOR ${CMAKE_MATCH_1})
set(TBX_VERSION_MINOR ${CMAKE_MATCH_2})
set(TBX_VERSION_MICRO ${CMAKE_MATCH_3})
set(TBX_VERSION_UPDATE ${CMAKE_MATCH_4})
# The version resource holds the four parts as 16-bit numbers, written without leading zeros.
set(TBX_VERSION_NUMBERS)
foreach(part MAJOR MINOR MICRO UPDATE)
  string(REGEX REPLACE "^0+([0-9])" "\\1" number "${TBX_VERSION_${part}}")
  string(LENGTH "${number}" digits)
  if(digits GREATER 5 OR number GREATER 65535)
    message(FATAL_ERROR "TBX_PRODUCT_VERSION '${TBX_PRODUCT_VERSION}' has a part above 65535")
  endif()
  list(APPEND TBX_VERSION_NUMBERS ${number})
endforeach()
list(JOIN TBX_VERSION_NUMBERS "," TBX_VERSION_NUMBERS)
if(NOT TBX_FULL_VERSION STREQUAL "${TBX_PRODUCT_VERSION}-b${TBX_BUILD_NUMBER}")
  message(FATAL_ERROR "TBX_FULL_VERSION '${TBX_FULL_VERSION}' is not '${TBX_PRODUCT_VERSION}-b${TBX_BUILD_NUMBER}'")
endif()
foreach(v TBX_AU_VERSION TBX_AU_BASELINE_VERSION)
  if(NOT ${v} MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "${v} must have four dotted numbers, not '${${v}}'")
  endif()
endforeach()
foreach(v TBX_BUILD_NUMBER TBX_FAMILY_NUMBER)
  if(NOT ${v} MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${v} must be a decimal number, not '${${v}}'")
  endif()
endforeach()

# Payload files; an empty auto-update database leaves resource 105 out.
set(TBX_DEMO_PAYLOAD_DIR ${CMAKE_BINARY_DIR}/payload/demo)
set(TBX_PAYLOAD_KIT_MSI "${TBX_DEMO_PAYLOAD_DIR}/kit.msi" CACHE FILEPATH "Kit installer database (resource 101)")
set(TBX_PAYLOAD_AU_MSI "${TBX_DEMO_PAYLOAD_DIR}/au.msi" CACHE FILEPATH "Auto-update installer database (resource 105); empty for none")
set(TBX_PAYLOAD_CAB_SS "${TBX_DEMO_PAYLOAD_DIR}/ss.cab" CACHE FILEPATH "Cabinet resource 110 (ss)")
set(TBX_PAYLOAD_CAB_ST "${TBX_DEMO_PAYLOAD_DIR}/st.cab" CACHE FILEPATH "Cabinet resource 111 (st)")
set(TBX_PAYLOAD_CAB_SJ "${TBX_DEMO_PAYLOAD_DIR}/sj.cab" CACHE FILEPATH "Cabinet resource 108 (sj)")
set(TBX_PAYLOAD_CAB_SZ "${TBX_DEMO_PAYLOAD_DIR}/sz.cab" CACHE FILEPATH "Cabinet resource 112 (sz)")
set(TBX_PAYLOAD_FILES ${TBX_PAYLOAD_KIT_MSI} ${TBX_PAYLOAD_CAB_SS} ${TBX_PAYLOAD_CAB_ST} ${TBX_PAYLOAD_CAB_SJ}
    ${TBX_PAYLOAD_CAB_SZ})
if(TBX_PAYLOAD_AU_MSI)
  list(APPEND TBX_PAYLOAD_FILES ${TBX_PAYLOAD_AU_MSI})
endif()

# The constants reach C++ and the resource compiler through one generated header.
if(TBX_PAYLOAD_AU_MSI)
  set(TBX_HAS_AU_MSI 1)
else()
  set(TBX_HAS_AU_MSI 0)
endif()
set(TBX_BUILD_CONSTANTS_DIR ${CMAKE_BINARY_DIR}/generated)
file(CONFIGURE OUTPUT ${TBX_BUILD_CONSTANTS_DIR}/tbx_build_constants.h @ONLY CONTENT [[
/* Build constants of this launcher, generated at configure time; read by C++ and the resource compiler. */
#pragma once

#define TBX_PRODUCT_VERSION "@TBX_PRODUCT_VERSION@"
#define TBX_FULL_VERSION "@TBX_FULL_VERSION@"
#define TBX_BUILD_NUMBER @TBX_BUILD_NUMBER@
#define TBX_FAMILY_NUMBER @TBX_FAMILY_NUMBER@
#define TBX_VERSION_MAJOR "@TBX_VERSION_MAJOR@"
#define TBX_VERSION_MINOR "@TBX_VERSION_MINOR@"
#define TBX_VERSION_MICRO "@TBX_VERSION_MICRO@"
#define TBX_VERSION_UPDATE "@TBX_VERSION_UPDATE@"
#define TBX_VERSION_NUMBERS @TBX_VERSION_NUMBERS@
#define TBX_AU_VERSION "@TBX_AU_VERSION@"
#define TBX_AU_BASELINE_VERSION "@TBX_AU_BASELINE_VERSION@"

#define TBX_PAYLOAD_KIT_MSI "@TBX_PAYLOAD_KIT_MSI@"
#define TBX_HAS_AU_MSI @TBX_HAS_AU_MSI@
#define TBX_PAYLOAD_AU_MSI "@TBX_PAYLOAD_AU_MSI@"
#define TBX_PAYLOAD_CAB_SS "@TBX_PAYLOAD_CAB_SS@"
#define TBX_PAYLOAD_CAB_ST "@TBX_PAYLOAD_CAB_ST@"
#define TBX_PAYLOAD_CAB_SJ "@TBX_PAYLOAD_CAB_SJ@"
#define TBX_PAYLOAD_CAB_SZ "@TBX_PAYLOAD_CAB_SZ@"
]])

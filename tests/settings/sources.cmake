# The settings tests that run in both builds, and the ones only the Windows build has.
set(TBX_SETTINGS_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/test_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installer_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_api_test.cpp
)
set(TBX_SETTINGS_TEST_WINDOWS_SOURCES)

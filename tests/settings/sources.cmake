# The settings tests that run in both builds.
set(TBX_SETTINGS_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/test_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installer_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_mapper_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/validators_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_name_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parser_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serializer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_api_test.cpp
)

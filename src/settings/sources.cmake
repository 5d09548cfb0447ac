# The settings engine's sources that build on every operating system.
set(TBX_SETTINGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/utf8.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_value.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wide_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_mapper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/validators.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_name.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_builder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serializer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_api.cpp
)

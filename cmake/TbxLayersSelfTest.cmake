# Runs the include check on the fixture tree written by TbxLayers.cmake and compares its report line by line.
execute_process(COMMAND ${PYTHON} ${CHECKER} ${FIXTURE} ${TABLE} RESULT_VARIABLE result OUTPUT_VARIABLE output)
set(expected
  "src/installconfig/option_table.h:1: #include \"../launcher/install_flow.h\": relative path, write includes from src/"
  "src/products/removal.cpp:1: #include \"removal.h\": write it from src/ (\"products/removal.h\")"
  "src/products/removal.h:2: #include \"launcher/install_flow.h\": products may not include launcher (it may include: buildinfo platform process products strings updatepolicy)"
  "src/updatepolicy/au_config.cpp:1: #include \"installconfig/option_table.h\": updatepolicy may not include installconfig (it may include: buildinfo platform strings updatepolicy)"
  "tests/process/executor_test.cpp:1: #include \"products/removal.h\": tests/process may not include products (it may include: buildinfo platform process strings)"
  "5 include(s) against the folder order of ${TABLE}")
string(REPLACE ";" "\n" expected "${expected}")
if(result EQUAL 0 OR NOT output STREQUAL "${expected}\n")
  message(FATAL_ERROR "exit ${result}; expected the report\n${expected}\ngot\n${output}")
endif()

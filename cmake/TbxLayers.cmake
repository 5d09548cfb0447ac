# The folder order of cmake/layers.txt, enforced on target links at configure time and on includes by a test.
set(TBX_LAYERS_TABLE ${CMAKE_CURRENT_LIST_DIR}/layers.txt)

# tbx_check_layer_links(<subsystems>): each subsystem's library links only subsystems its row allows.
function(tbx_check_layer_links subsystems)
  file(STRINGS ${TBX_LAYERS_TABLE} lines)
  set(rows)
  foreach(line IN LISTS lines)
    if(line MATCHES "^([a-z/]+):([^#]*)")
      string(STRIP "${CMAKE_MATCH_2}" uses)
      separate_arguments(uses UNIX_COMMAND "${uses}")
      set(row_${CMAKE_MATCH_1} ${uses})
      list(APPEND rows ${CMAKE_MATCH_1})
    endif()
  endforeach()
  foreach(folder IN LISTS subsystems)
    if(NOT folder IN_LIST rows)
      message(FATAL_ERROR "${TBX_LAYERS_TABLE} has no row for src/${folder}")
    endif()
    get_target_property(type ${folder} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links ${folder} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(links ${folder} LINK_LIBRARIES)
    endif()
    foreach(link IN LISTS links)
      if(link IN_LIST subsystems AND NOT link IN_LIST row_${folder} AND NOT link IN_LIST row_anywhere)
        message(FATAL_ERROR "The library ${folder} links ${link}, which its row in ${TBX_LAYERS_TABLE} does not allow")
      endif()
    endforeach()
  endforeach()

  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  # The interpreter by its path, not as a target: a target would be run through the cross-compiling emulator,
  # and a busy Wine once failed to start it.
  add_test(NAME layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_layers.py
           ${PROJECT_SOURCE_DIR} ${TBX_LAYERS_TABLE})
  # The check itself, on a small tree with one include of each kind it must refuse and one it must allow.
  set(fixture ${CMAKE_BINARY_DIR}/layers_fixture)
  file(REMOVE_RECURSE ${fixture})
  file(WRITE ${fixture}/src/launcher/install_flow.cpp "#include \"products/removal.h\"\n")
  file(WRITE ${fixture}/src/products/removal.h "#pragma once\n#include \"launcher/install_flow.h\"\n")
  file(WRITE ${fixture}/src/products/removal.cpp "#include \"removal.h\"\n")
  file(WRITE ${fixture}/src/updatepolicy/au_config.cpp "#include \"installconfig/option_table.h\"\n")
  file(WRITE ${fixture}/src/installconfig/option_table.h "#include \"../launcher/install_flow.h\"\n")
  file(WRITE ${fixture}/tests/process/executor_test.cpp "#include \"products/removal.h\"\n")
  foreach(folder platform settings process buildinfo strings)
    file(MAKE_DIRECTORY ${fixture}/src/${folder})
  endforeach()
  add_test(NAME layers_check_refuses COMMAND ${CMAKE_COMMAND} -DCHECKER=${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_layers.py
           -DPYTHON=${Python3_EXECUTABLE} -DFIXTURE=${fixture} -DTABLE=${TBX_LAYERS_TABLE}
           -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/TbxLayersSelfTest.cmake)
endfunction()

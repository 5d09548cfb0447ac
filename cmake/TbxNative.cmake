# The native (non-Windows) build: the settings engine with its POSIX file layer, its unit tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the load benchmark and, with clang, the libFuzzer target.
find_package(GTest REQUIRED)
include(${CMAKE_SOURCE_DIR}/src/settings/sources.cmake)
include(${CMAKE_SOURCE_DIR}/tests/settings/sources.cmake)

set(TBX_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
set(TBX_SETTINGS_NATIVE_SOURCES ${TBX_SETTINGS_SOURCES} ${CMAKE_SOURCE_DIR}/src/settings/settings_os_posix.cpp)

# One engine library per instrumentation: sanitized for tests, plain for the benchmark, fuzzing for libFuzzer.
function(tbx_settings_library name)
  cmake_parse_arguments(L "" "" "FLAGS" ${ARGN})
  add_library(${name} STATIC ${TBX_SETTINGS_NATIVE_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(${name} PRIVATE -Wall -Wextra ${L_FLAGS})
endfunction()

tbx_settings_library(settings_native_sanitized FLAGS ${TBX_SANITIZERS})
add_executable(settings_tests_native ${TBX_SETTINGS_TEST_SOURCES} ${TBX_OPTION_RULES_SOURCE})
target_include_directories(settings_tests_native PRIVATE ${CMAKE_SOURCE_DIR}/tests/settings
                           ${CMAKE_SOURCE_DIR}/tests/settings/fuzz)
target_compile_options(settings_tests_native PRIVATE -Wall -Wextra ${TBX_SANITIZERS})
target_link_options(settings_tests_native PRIVATE ${TBX_SANITIZERS})
target_link_libraries(settings_tests_native PRIVATE settings_native_sanitized GTest::gtest_main GTest::gmock)
add_test(NAME settings_tests_native COMMAND settings_tests_native --gtest_color=no)
set_tests_properties(settings_tests_native PROPERTIES TIMEOUT 600
                     ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")

find_package(benchmark QUIET)
if(benchmark_FOUND)
  tbx_settings_library(settings_native FLAGS -O2)
  add_executable(settings_bench ${CMAKE_SOURCE_DIR}/bench/settings/load_benchmark.cpp
                 ${CMAKE_SOURCE_DIR}/tests/settings/installer_rules.cpp ${TBX_OPTION_RULES_SOURCE} ${CMAKE_SOURCE_DIR}/tests/settings/settings_test_files.cpp)
  target_include_directories(settings_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/settings)
  target_compile_options(settings_bench PRIVATE -O2 -Wall -Wextra)
  target_link_libraries(settings_bench PRIVATE settings_native benchmark::benchmark)
  # inih is a reference for the benchmark only; nothing else links it.
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(INIH QUIET IMPORTED_TARGET inih)
  endif()
  if(INIH_FOUND)
    target_compile_definitions(settings_bench PRIVATE TBX_BENCH_INIH)
    target_link_libraries(settings_bench PRIVATE PkgConfig::INIH)
  endif()
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  tbx_settings_library(settings_native_fuzzing FLAGS -fsanitize=fuzzer-no-link,address,undefined
                       -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_executable(settings_fuzz ${CMAKE_SOURCE_DIR}/tests/settings/fuzz/settings_fuzz.cpp
                 ${CMAKE_SOURCE_DIR}/tests/settings/installer_rules.cpp ${TBX_OPTION_RULES_SOURCE})
  target_include_directories(settings_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/tests/settings)
  target_compile_options(settings_fuzz PRIVATE -Wall -Wextra -g -fsanitize=fuzzer,address,undefined
                         -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(settings_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(settings_fuzz PRIVATE settings_native_fuzzing)

  # The command line and the option pipeline: argument vectors and both settings texts through the real rules.
  add_executable(option_fuzz ${CMAKE_SOURCE_DIR}/tests/installconfig/fuzz/option_fuzz.cpp
                 ${CMAKE_SOURCE_DIR}/tests/settings/installer_rules.cpp ${TBX_OPTION_RULES_SOURCE}
                 ${CMAKE_SOURCE_DIR}/src/installconfig/argument_import.cpp)
  target_include_directories(option_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/tests/settings)
  target_compile_options(option_fuzz PRIVATE -Wall -Wextra -g -fsanitize=fuzzer,address,undefined
                         -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(option_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(option_fuzz PRIVATE settings_native_fuzzing)
endif()

# The settings tests that run in both builds.
set(TBX_SETTINGS_TEST_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/settings_test_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/installer_rules.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_mapper_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/validators_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_name_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parser_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serializer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_api_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/load_differential_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reference/reference_engine.cpp
)
# The installer's option rules, which the settings tests, the fuzzer and the benchmark load; the native build
# compiles the file itself, the Windows build links the installer configuration.
set(TBX_OPTION_RULES_SOURCE ${CMAKE_CURRENT_LIST_DIR}/../../src/installconfig/option_table.cpp)
# Test and benchmark sources that only the native build compiles (a fuzzer, a Google Benchmark program).
set(TBX_SETTINGS_NATIVE_ONLY_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz/settings_fuzz.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../installconfig/fuzz/option_fuzz.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../../bench/settings/load_benchmark.cpp
)
include(${CMAKE_CURRENT_LIST_DIR}/fuzz/embed_corpus.cmake)
# The corpus as a generated source, for the differential test.
set(TBX_SETTINGS_FUZZ_CORPUS_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/settings_fuzz_corpus.cpp)
tbx_embed_fuzz_corpus(${TBX_SETTINGS_FUZZ_CORPUS_SOURCE})
list(APPEND TBX_SETTINGS_TEST_SOURCES ${TBX_SETTINGS_FUZZ_CORPUS_SOURCE})

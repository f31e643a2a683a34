# Tests of the JSON values, reader and writer. The round-trip test also reads
# the benchmark documents from the shared data folder beside the repository
# when it is present.
get_filename_component(VORN_JSON_BENCH_DATA
  "${CMAKE_SOURCE_DIR}/../shared/bench-data/json" ABSOLUTE)

vorn_add_test(NAME json_value_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json_value_test.cc
  LIBS vorn_json
  LABELS unit)

vorn_add_test(NAME json_reader_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json_reader_test.cc
  LIBS vorn_json
  LABELS unit)

vorn_add_test(NAME json_writer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json_writer_test.cc
          ${CMAKE_CURRENT_LIST_DIR}/json_round_trip_test.cc
  LIBS vorn_json
  LABELS unit)
target_compile_definitions(json_writer_test PRIVATE
  VORN_JSON_BENCH_DATA="${VORN_JSON_BENCH_DATA}")

vorn_add_test(NAME json_number_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json_number_test.cc
  LIBS vorn_json
  LABELS unit)

vorn_add_test(NAME json_string_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json_string_test.cc
  LIBS vorn_json
  LABELS unit)

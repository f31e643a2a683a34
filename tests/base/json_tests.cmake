# Tests of the JSON values, reader and writer. The round-trip test also reads
# the benchmark documents from the shared data folder beside the repository
# when it is present.
get_filename_component(VORN_JSON_BENCH_DATA
  "${CMAKE_SOURCE_DIR}/../shared/bench-data/json" ABSOLUTE)

foreach(name json_value json_reader json_number json_string json_error_position)
  vorn_add_test(NAME ${name}_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/${name}_test.cc
    LIBS vorn_json
    LABELS unit)
endforeach()

# GCC 12 at -O3 (the armhf build) sees the moves of JsonValue's union,
# inlined into these tests, as reading a member that may be uninitialized;
# the active member is always set before it is read.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(json_value_test PRIVATE -Wno-maybe-uninitialized)
endif()

vorn_add_test(NAME json_writer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/json_writer_test.cc
          ${CMAKE_CURRENT_LIST_DIR}/json_round_trip_test.cc
  LIBS vorn_json
  LABELS unit)
target_compile_definitions(json_writer_test PRIVATE
  VORN_JSON_BENCH_DATA="${VORN_JSON_BENCH_DATA}")

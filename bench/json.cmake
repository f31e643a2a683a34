# JSON parse and write throughput against RapidJSON's DOM and nlohmann::json.
# Both peers are header-only and used by this benchmark alone.
find_package(RapidJSON CONFIG QUIET)
find_path(VORN_RAPIDJSON_INCLUDE_DIR rapidjson/document.h
  HINTS ${RapidJSON_INCLUDE_DIRS} ${RAPIDJSON_INCLUDE_DIRS})
find_package(nlohmann_json 3 CONFIG REQUIRED)
if(NOT VORN_RAPIDJSON_INCLUDE_DIR)
  message(FATAL_ERROR "rapidjson/document.h not found (install rapidjson-dev)")
endif()

add_executable(json_bench ${CMAKE_CURRENT_LIST_DIR}/json_bench.cc)
target_include_directories(json_bench SYSTEM PRIVATE ${VORN_RAPIDJSON_INCLUDE_DIR})
target_link_libraries(json_bench PRIVATE vorn_json nlohmann_json::nlohmann_json
  benchmark::benchmark)
target_compile_definitions(json_bench PRIVATE
  VORN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
# GCC pairs the replaced operator new with free() once both are inlined and
# warns about a mismatch that is not one.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(json_bench PRIVATE -Wno-mismatched-new-delete)
endif()

# Plug-in throughput against memcpy of the same buffer.
add_executable(post_processors_bench
  ${CMAKE_CURRENT_LIST_DIR}/post_processors_bench.cc)
target_link_libraries(post_processors_bench PRIVATE
  vorn_post_processors benchmark::benchmark)

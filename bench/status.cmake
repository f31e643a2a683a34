# A status request round trip through VornStatusService against a raw socket
# ping-pong of the same frames.
add_executable(status_bench ${CMAKE_CURRENT_LIST_DIR}/status_bench.cc)
target_link_libraries(status_bench PRIVATE vorn_package benchmark::benchmark
  Threads::Threads)

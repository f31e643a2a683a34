# Framed messages through V2Socket against a plain read/write loop.
add_executable(v2_socket_bench ${CMAKE_CURRENT_LIST_DIR}/v2_socket_bench.cc)
target_link_libraries(v2_socket_bench PRIVATE vorn_receiver benchmark::benchmark)

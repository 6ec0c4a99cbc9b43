# SPDX-License-Identifier: MIT
# The network tester over loopback: a stream through the window (text mode
# and byte mode) beside a plain QTcpSocket reading the same stream. Run:
# bench_socket [--text-mib N] [--bytes-mib N] [--buffer-kib N] (prints a table).
add_executable(bench_socket ${CMAKE_CURRENT_LIST_DIR}/socket_stream.cpp)
target_link_libraries(bench_socket PRIVATE sockbaywindow sockbaysocket Qt6::Widgets Qt6::Network)
# The tests' free-port probe.
target_include_directories(bench_socket PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

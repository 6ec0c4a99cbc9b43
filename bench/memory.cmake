# SPDX-License-Identifier: MIT
# Memory per received byte by the shape of the traffic (lines of 100 and of
# 33 bytes, "OK\r\n", blank lines, random bytes) through the network
# tester's window, in text and byte mode. Run: bench_memory [--mib N]
# (prints a table).
add_executable(bench_memory ${CMAKE_CURRENT_LIST_DIR}/memory.cpp)
target_link_libraries(bench_memory PRIVATE sockbaywindow sockbaysocket Qt6::Widgets Qt6::Network)
# The tests' free-port probe.
target_include_directories(bench_memory PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

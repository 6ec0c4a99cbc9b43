# SPDX-License-Identifier: MIT
# The serial tester over a pseudo-terminal: a 10 MiB stream into the window
# in byte and text mode beside a plain read() of the same pair, and the
# idle cost of an open port. Run: bench_serial (prints a table).
add_executable(bench_serial ${CMAKE_CURRENT_LIST_DIR}/serial_stream.cpp)
target_link_libraries(bench_serial PRIVATE commwindow commport Qt6::Widgets util)
target_include_directories(bench_serial PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

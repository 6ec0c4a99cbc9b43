# SPDX-License-Identifier: MIT
# Many short sessions through both windows over the real link controls
# (serial open/close on a pty, listen/accept/peer-close and connect/hang-up
# on loopback), watching descriptors, resident memory and the heap for
# growth. Run: bench_cycles [--serial N] [--listen N] [--connect N] (prints a table).
add_executable(bench_cycles ${CMAKE_CURRENT_LIST_DIR}/cycles.cpp ${CMAKE_CURRENT_LIST_DIR}/resultline.h)
target_link_libraries(bench_cycles PRIVATE commwindow commport sockbaywindow sockbaysocket
    Qt6::Widgets Qt6::Network util)
# The tests' free-port probe.
target_include_directories(bench_cycles PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

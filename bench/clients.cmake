# SPDX-License-Identifier: MIT
# Several clients at once (同时接受多个连接): N clients sending at once through
# the window beside a plain server reading the same, and connect/close cycles
# with descriptors and memory. Run: bench_clients [--clients N] [--kib N]
# [--cycles N].
add_executable(bench_clients ${CMAKE_CURRENT_LIST_DIR}/clients.cpp)
target_link_libraries(bench_clients PRIVATE sockbaywindow sockbaysocket Qt6::Widgets Qt6::Network)
target_include_directories(bench_clients PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

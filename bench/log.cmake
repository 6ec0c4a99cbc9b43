# SPDX-License-Identifier: MIT
# The log's cost: byte listings written as one piece beside the same listing
# as one piece per byte, and entries per second into a long log.
# Run: QT_QPA_PLATFORM=offscreen bench_log
add_executable(bench_log ${CMAKE_CURRENT_LIST_DIR}/log_cost.cpp)
target_link_libraries(bench_log PRIVATE consoleframe Qt6::Widgets)
target_include_directories(bench_log PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

# SPDX-License-Identifier: MIT
# What comm costs while nothing happens: closed, open on a quiet pty, and
# waiting for an unplugged device to come back. Run: bench_idle [--seconds N].
add_executable(bench_idle ${CMAKE_CURRENT_LIST_DIR}/idle.cpp)
target_link_libraries(bench_idle PRIVATE commwindow commport ptypair Qt6::Widgets)
target_include_directories(bench_idle PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

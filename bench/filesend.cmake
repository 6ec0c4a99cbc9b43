# SPDX-License-Identifier: MIT
# Sending a file through the window over loopback and a pty, beside a plain
# write of the same bytes. Run: bench_filesend [--mib N].
add_executable(bench_filesend ${CMAKE_CURRENT_LIST_DIR}/filesend.cpp)
target_link_libraries(bench_filesend PRIVATE commwindow commport sockbaywindow sockbaysocket ptypair Qt6::Widgets
                                             Qt6::Network)
target_include_directories(bench_filesend PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

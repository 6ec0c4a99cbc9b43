# SPDX-License-Identifier: MIT
# Frames by silence: how exactly a pty (comm) and loopback (sockbay) frames
# are cut and stamped, beside a plain reader. Run: bench_framing [--frames N].
add_executable(bench_framing ${CMAKE_CURRENT_LIST_DIR}/framing.cpp)
target_link_libraries(bench_framing PRIVATE commwindow commport sockbaywindow sockbaysocket ptypair Qt6::Widgets
                                            Qt6::Network)
target_include_directories(bench_framing PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

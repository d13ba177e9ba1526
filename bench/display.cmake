# The display timing program (Qt, so not among the engine-only benchmark programs).
add_executable(display_timing ${CMAKE_CURRENT_LIST_DIR}/display_timing.cpp)
target_link_libraries(display_timing PRIVATE orbisk_browser orbisk_processing orbisk_metadata)

# The editor timing program (Qt windows, so not among the engine-only benchmark programs).
add_executable(editor_timing ${CMAKE_CURRENT_LIST_DIR}/editor_timing.cpp)
target_link_libraries(editor_timing PRIVATE orbisk_editor orbisk_processing)

# The filter preview timing program (Qt, so not among the engine-only benchmark programs).
if(NOT TARGET filterpreview_timing)
  add_executable(filterpreview_timing ${CMAKE_CURRENT_LIST_DIR}/filterpreview_timing.cpp)
  target_link_libraries(filterpreview_timing PRIVATE orbisk_editor orbisk_processing)
  set_target_properties(filterpreview_timing PROPERTIES CXX_STANDARD 20 CXX_STANDARD_REQUIRED ON)
endif()

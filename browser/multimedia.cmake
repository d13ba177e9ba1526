# Video playback for the main window's AVI player through Qt Multimedia, when it is installed.
find_package(Qt6 QUIET COMPONENTS Multimedia)
if(Qt6Multimedia_FOUND)
  target_link_libraries(orbisk_browser PUBLIC Qt6::Multimedia)
  target_compile_definitions(orbisk_browser PUBLIC ORBISK_HAVE_MULTIMEDIA=1)
else()
  message(STATUS "Qt Multimedia not found: AVI files cannot be played")
endif()

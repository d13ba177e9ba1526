# Precompiled headers. Qt's headers are most of what a window source or a test compiles, so the
# window libraries share one precompiled header of them, and the test programs share two (with
# and without Qt). Off with -DORBISK_PCH=OFF (for instance to check that every file includes
# what it uses).
option(ORBISK_PCH "Precompiled headers for the window libraries and the test programs" ON)

# Makes the precompiled header of kind (a name) from HEADERS, compiled with the usage
# requirements of LIBS and the compile options of the calling folder. It belongs to a target of
# its own, which compiles nothing else, so the targets using it wait for nothing but the header.
function(orbisk_pch_owner kind)
  if(NOT ORBISK_PCH)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "LIBS;HEADERS" ${ARGN})
  set(source ${CMAKE_CURRENT_BINARY_DIR}/orbisk_pch_${kind}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "// The precompiled header's own target.\n")
  add_library(orbisk_pch_${kind} OBJECT ${source})
  target_include_directories(orbisk_pch_${kind} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(orbisk_pch_${kind} PRIVATE ${ARG_LIBS})
  target_precompile_headers(orbisk_pch_${kind} PRIVATE ${ARG_HEADERS})
endfunction()

# Gives target the precompiled header of kind (its compile flags must be those of the owner).
function(orbisk_use_pch kind target)
  if(ORBISK_PCH)
    target_precompile_headers(${target} REUSE_FROM orbisk_pch_${kind})
  endif()
endfunction()

# The window libraries: every source there includes a part of Qt Widgets.
function(orbisk_window_pch target)
  orbisk_use_pch(windows ${target})
endfunction()

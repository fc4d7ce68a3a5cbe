# The texts about a run. The usage texts carry the run parameters' names in braces, and the
# programs fill in the values they compute with when a text is shown; the manual pages and the
# package's description are filled in when they are built, by eigenshoot-filltext, compiled from
# the same parameters. No text is made from a reading of the C++ source, so any valid spelling
# of a parameter builds.
set(generated ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/solver/runtext.h.in ${generated}/solver/runtext.h @ONLY)

add_executable(eigenshoot-filltext solver/filltext.cpp)
target_link_libraries(eigenshoot-filltext PRIVATE output)
# The filler runs where the build runs: natively, or under the toolchain's emulator (qemu, wine)
# in a cross build. A cross build without an emulator cannot run it, and leaves out what it
# fills in: the manual pages, and the run parameters in the package's description.
set(EIGENSHOOT_RUNTEXTS ON)
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(EIGENSHOOT_RUNTEXTS OFF)
  message(STATUS "Cross build without CMAKE_CROSSCOMPILING_EMULATOR: eigenshoot-filltext cannot "
    "run here, so the manual pages are left out and the package description names no run "
    "parameter")
  return()
endif()
set(runtexts "")
foreach(name IN ITEMS eigenshoot eigenshoot-plot)
  set(page ${generated}/man/${name}.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/${name}.1.in ${page}.in @ONLY)
  list(APPEND runtexts ${page})
endforeach()
# The package's description, from the same values.
configure_file(${PROJECT_SOURCE_DIR}/packaging/description.in ${generated}/description.in COPYONLY)
list(APPEND runtexts ${generated}/description)
foreach(text IN LISTS runtexts)
  cmake_path(GET text FILENAME name)
  add_custom_command(OUTPUT ${text}
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:eigenshoot-filltext> ${text}.in ${text}
    DEPENDS eigenshoot-filltext ${text}.in
    COMMENT "Filling in the run parameters of ${name}")
endforeach()
add_custom_target(runtexts ALL DEPENDS ${runtexts})

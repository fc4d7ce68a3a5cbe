# The texts about a run. The usage texts carry the run parameters' names in braces, and the
# programs fill in the values they compute with when a text is shown; the manual pages are
# filled in when they are built, by eigenshoot-filltext, compiled from the same parameters. No
# text is made from a reading of the C++ source, so any valid spelling of a parameter builds.
set(generated ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/solver/runtext.h.in ${generated}/solver/runtext.h @ONLY)

add_executable(eigenshoot-filltext solver/filltext.cpp)
target_link_libraries(eigenshoot-filltext PRIVATE output)
set(runmanpages "")
foreach(name IN ITEMS eigenshoot eigenshoot-plot)
  set(page ${generated}/man/${name}.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/${name}.1.in ${page}.in @ONLY)
  # A cross-compiled generator runs under the toolchain's emulator (qemu, wine), if it has one.
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:eigenshoot-filltext> ${page}.in ${page}
    DEPENDS eigenshoot-filltext ${page}.in
    COMMENT "Filling in the run parameters of ${name}.1")
  list(APPEND runmanpages ${page})
endforeach()
add_custom_target(manpages ALL DEPENDS ${runmanpages})

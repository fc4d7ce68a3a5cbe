# Installation and packages. `cmake --install` puts the program, the plot command, the manual
# pages and the documentation under a prefix; cpack in the release build directory makes a
# .tar.gz and a .deb of them. Two builds of one commit give packages with the same bytes: every
# time stamp is the last commit's (a SOURCE_DATE_EPOCH set by the user wins; without git, a
# fixed date).
set(EIGENSHOOT_MAINTAINER "eigenshoot developers <eigenshoot@example.org>")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR NOT epoch MATCHES "^[0-9]+$")
    set(epoch 1796083200)  # 2026-12-01
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
string(TIMESTAMP EIGENSHOOT_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(EIGENSHOOT_DESCRIPTION "")
if(EIGENSHOOT_RUNTEXTS)
  set(EIGENSHOOT_DESCRIPTION ${generated}/description)
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/cpack-epoch.cmake.in ${generated}/cpack-epoch.cmake
  @ONLY)

# The copyright file in Debian's machine-readable form, its licence text taken from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
if(NOT license MATCHES "\nCopyright \\(c\\) ([^\n]*)\n\n(.*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE: no copyright line followed by the licence text")
endif()
set(EIGENSHOOT_COPYRIGHT "${CMAKE_MATCH_1}")
string(REPLACE "\n\n" "\n.\n" license "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " EIGENSHOOT_LICENSE_TEXT " ${license}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${generated}/doc/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${generated}/doc/changelog @ONLY)

# Manual pages and the change log in Debian's form are installed compressed, without a time stamp.
set(manpages "")
if(EIGENSHOOT_RUNTEXTS)
  set(manpages ${generated}/man/eigenshoot.1 ${generated}/man/eigenshoot-plot.1)
endif()
set(changelog ${generated}/doc/changelog)
find_program(GZIP gzip)
if(GZIP)
  foreach(file IN LISTS manpages changelog)
    add_custom_command(OUTPUT ${file}.gz COMMAND ${GZIP} -9nf -k ${file} DEPENDS ${file}
      COMMENT "Compressing ${file}")
    list(APPEND compressed ${file}.gz)
  endforeach()
  add_custom_target(compressed-docs ALL DEPENDS ${compressed})
  list(TRANSFORM manpages APPEND .gz)
  string(APPEND changelog .gz)
endif()

include(GNUInstallDirs)
install(TARGETS eigenshoot RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET eigenshoot-plot)
  install(TARGETS eigenshoot-plot RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(manpages)
  install(FILES ${manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES README.md CHANGELOG.md ${generated}/doc/copyright ${changelog}
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README's pictures and the pages it links to, where its links find them.
file(GLOB docpages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES docs/eigenfunctions.png docs/convergence.png ${docpages}
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

set(CPACK_GENERATOR TGZ DEB)
set(CPACK_PACKAGE_CONTACT "${EIGENSHOOT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The description names the run parameters as the usage texts do: the build fills it in, and
# cpack reads it (packaging/cpack-epoch.cmake.in). A build that cannot fill it in has this one.
set(CPACK_PACKAGE_DESCRIPTION "eigenshoot finds the lowest eigenvalues of y'' = -E y by shooting
with a secant search, and their normalized eigenfunctions. eigenshoot-plot
draws them with gnuplot. eigenshoot --help shows the run parameters.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PROJECT_CONFIG_FILE ${generated}/cpack-epoch.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# eigenshoot-plot draws with gnuplot; the computation itself needs nothing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnuplot-nox")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
include(CPack)

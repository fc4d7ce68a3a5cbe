# Run by cpack for the .deb: Debian's overrides of lintian's checks go with the package.
file(INSTALL ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
  DESTINATION /usr/share/lintian/overrides RENAME eigenshoot)

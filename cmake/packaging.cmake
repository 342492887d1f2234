# Binary packages (cpack). What every package shares comes first; each platform's package has a
# block of its own below.
set(CPACK_PACKAGE_NAME zelp7x-flash)
set(CPACK_PACKAGE_VENDOR "zelp7x_flash maintainers")
set(CPACK_PACKAGE_CONTACT "zelp7x_flash maintainers <maintainers@users.noreply.c-seed-de4e7a4d.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SPI flash programmer for zelp7x evaluation boards")
set(CPACK_PACKAGE_DESCRIPTION
  "zelp7x_flash reads, erases, programs and verifies the SPI NOR flash behind
a zelp7x neural-network audio chip on an evaluation board, reached through a
USB bridge that shows up as a serial port; zelp7x_gang does the same on many
boards at once, with a table and a JSON report. zelp7x_host loads packages into
the chip and reads its results; zelp7x_board_sim serves a simulated board on
a pseudo-terminal; morvel_pkg_info checks package files.")
set(CPACK_STRIP_FILES ON)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # Debian: the tools and their manual pages, the runtime component alone. Hosts build against a
  # source install, whose devel component a tool package has no business carrying.
  set(CPACK_GENERATOR DEB)
  set(CPACK_COMPONENTS_ALL runtime)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${CPACK_PACKAGE_NAME})
  set(CPACK_DEBIAN_RUNTIME_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_PACKAGE_NAME})
  zelp_compressed(changelog ${PROJECT_SOURCE_DIR}/doc/debian/changelog)
  install(FILES doc/debian/copyright ${changelog} DESTINATION ${doc_dir} COMPONENT runtime)
elseif(WIN32)
  # Windows: one zip, zelp7x_flash-<version>-win64.zip, made by `cpack --preset windows`.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME zelp7x_flash)
  set(CPACK_PACKAGE_FILE_NAME zelp7x_flash-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

include(CPack)

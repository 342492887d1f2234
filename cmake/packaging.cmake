# Binary packages (cpack). What every package shares comes first; each platform's package has a
# block of its own below.
set(CPACK_PACKAGE_NAME zelp7x-flash)
set(CPACK_PACKAGE_VENDOR "zelp7x_flash maintainers")
set(CPACK_PACKAGE_CONTACT "zelp7x_flash maintainers <maintainers@users.noreply.c-seed-de4e7a4d.example>")
set(CPACK_PACKAGE_DESCRIPTION
  "zelp7x_flash reads, erases, programs and verifies the SPI NOR flash behind
a zelp7x neural-network audio chip on an evaluation board, reached through a
USB bridge that shows up as a serial port; zelp7x_gang does the same on many
boards at once, with a table and a JSON report. zelp7x_host loads packages into
the chip and reads its results; zelp7x_board_sim serves a simulated board on
a pseudo-terminal; morvel_pkg_info checks package files.")
set(CPACK_STRIP_FILES ON)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # Debian: the tools and their manual pages (zelp7x-flash); the libraries for hosts, their
  # headers, CMake package, pkg-config files and API reference (libmorvel-dev, named for the
  # libraries' files, libmorvel_NAME.a); the Python package (python3-zelp7x). The first line of
  # each description is that package's summary; CPACK_PACKAGE_DESCRIPTION_SUMMARY stays unset, or
  # CPack would put the same summary before every one.
  set(CPACK_GENERATOR DEB)
  set(CPACK_COMPONENTS_ALL runtime devel)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  zelp_compressed(changelog ${PROJECT_SOURCE_DIR}/doc/debian/changelog)
  # Every package carries the copyright file and the changelog in its own documentation folder.
  function(zelp_debian_package component name)
    string(TOUPPER ${component} upper)
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${name} PARENT_SCOPE)
    set(CPACK_DEBIAN_${upper}_FILE_NAME DEB-DEFAULT PARENT_SCOPE)
    install(FILES doc/debian/copyright ${changelog}
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${name} COMPONENT ${component})
  endfunction()

  zelp_debian_package(runtime ${CPACK_PACKAGE_NAME})
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "SPI flash programmer for zelp7x evaluation boards
${CPACK_PACKAGE_DESCRIPTION}")

  zelp_debian_package(devel ${ZELP_DEV_PACKAGE})
  set(CPACK_DEBIAN_DEVEL_PACKAGE_SECTION libdevel)
  # The package's earlier name.
  set(CPACK_DEBIAN_DEVEL_PACKAGE_PROVIDES zelp7x-flash-dev)
  set(CPACK_DEBIAN_DEVEL_PACKAGE_CONFLICTS zelp7x-flash-dev)
  set(CPACK_DEBIAN_DEVEL_PACKAGE_REPLACES zelp7x-flash-dev)
  set(CPACK_DEBIAN_DEVEL_DESCRIPTION "C libraries for host programs of zelp7x evaluation boards
The device library (morvel_devlib: generic API, zelp7x driver, package
reader), the board I/O layer (morvel_evb_io, with the simulated board when the
build has one) and the flash operations (morvel_flash: JEDEC ID, erase,
program, read, verify and changed-only writes), as static libraries with C
headers, the CMake package morvel (find_package(morvel)), pkg-config files and
an HTML API reference.")

  # The Python package, when it is built: python3-zelp7x, for the interpreter it was built for.
  if(ZELP_BUILD_PYTHON)
    list(APPEND CPACK_COMPONENTS_ALL python)
    zelp_debian_package(python python3-zelp7x)
    set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
    set(python_version ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR})
    math(EXPR python_next_minor "${Python3_VERSION_MINOR} + 1")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${python_version}~), python3 (<< ${Python3_VERSION_MAJOR}.${python_next_minor}), python3-numpy")
    set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python access to zelp7x evaluation boards
The zelp7x package opens a zelp7x evaluation board, or the simulated board,
as zelp7x_host does, loads packages into the chip and takes out what its
firmware produces: matches, the audio before a match as NumPy arrays,
features, GPIO, serial transfers and mailbox counters.")
  endif()
elseif(WIN32)
  # Windows: one zip, zelp7x_flash-<version>-win64.zip, made by `cpack --preset windows`.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SPI flash programmer for zelp7x evaluation boards")
  set(CPACK_PACKAGE_NAME zelp7x_flash)
  set(CPACK_PACKAGE_FILE_NAME zelp7x_flash-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

include(CPack)

# The libraries host programs link, and the one rule their names follow. A library NAME is
#   the CMake target morvel::NAME, in the CMake package `morvel`  find_package(morvel CONFIG)
#   the file libmorvel_NAME.a (libmorvel_NAME.so.0 with BUILD_SHARED_LIBS) in the library folder
#   the pkg-config module morvel_NAME
#   the header folder include/morvel_NAME/, included as <morvel_NAME/HEADER.h>
# and the Debian package libmorvel-dev holds them all, with the API reference built from the
# headers in share/doc/libmorvel-dev/html. zelp_host_library() applies the rule to one library; the
# list at the end of this file is every library it applies to.
include(CMakePackageConfigHelpers)
set(ZELP_DEV_PACKAGE libmorvel-dev)
find_package(Threads REQUIRED)

# Windows installs only the download's programs; elsewhere the libraries go to the development
# component (`devel`), a shared library's runtime part to the tools' (`runtime`).
if(WIN32)
  set(zelp_install_libraries OFF)
else()
  set(zelp_install_libraries ON)
endif()

# Link flags for names and paths: `-lNAME` for a bare name, anything else as it is.
function(zelp_link_flags out)
  set(flags "")
  foreach(lib ${ARGN})
    if(lib MATCHES "^-" OR IS_ABSOLUTE "${lib}")
      list(APPEND flags "${lib}")
    else()
      list(APPEND flags "-l${lib}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES flags)
  string(JOIN " " joined ${flags})
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

# A static C++ library needs the C++ runtime when a C compiler driver links it: the libraries the
# C++ driver adds that the C driver does not. The library at the bottom of the stack (one that
# requires no other) names them, so they come last on any link line.
set(zelp_cxx_runtime ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
list(REMOVE_ITEM zelp_cxx_runtime ${CMAKE_C_IMPLICIT_LINK_LIBRARIES})

# pkg-config paths relative to the file's own folder, so an installed tree found through it may be
# moved (cmake --install --prefix, DESTDIR) and stay right.
file(RELATIVE_PATH zelp_pc_up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" zelp_pc_up "${zelp_pc_up}")
set(zelp_pc_prefix "\${pcfiledir}/${zelp_pc_up}")
set(zelp_pc_libdir "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
set(zelp_pc_includedir "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(zelp_pc_prefix ${CMAKE_INSTALL_PREFIX})
  set(zelp_pc_libdir ${CMAKE_INSTALL_FULL_LIBDIR})
  set(zelp_pc_includedir ${CMAKE_INSTALL_FULL_INCLUDEDIR})
endif()

# zelp_host_library(TARGET NAME [HEADERS DIR...] [REQUIRES NAME...] [LIBS LIB...]
#                   [DESCRIPTION TEXT] [BARE_INCLUDES] [ARCHIVE_ONLY])
# Names TARGET's file, export and alias by NAME and installs it with its header folders (each
# under include/ by its own name), its place in the CMake package and its pkg-config file.
# REQUIRES names the libraries of this list it builds on, LIBS what else a static link needs.
# BARE_INCLUDES also puts the first header folder itself on the include path, for hosts written
# when its headers were included by bare name. ARCHIVE_ONLY is a static library's part that has no
# headers or pkg-config module of its own; a shared build leaves it inside the shared library.
function(zelp_host_library target name)
  cmake_parse_arguments(PARSE_ARGV 2 arg "BARE_INCLUDES;ARCHIVE_ONLY" "DESCRIPTION"
                        "HEADERS;REQUIRES;LIBS")
  set_target_properties(${target} PROPERTIES OUTPUT_NAME morvel_${name} EXPORT_NAME ${name})
  add_library(morvel::${name} ALIAS ${target})
  # The API reference covers every library's header folders.
  set_property(GLOBAL APPEND PROPERTY ZELP_HOST_HEADER_DIRS ${arg_HEADERS})
  if(NOT zelp_install_libraries OR (arg_ARCHIVE_ONLY AND BUILD_SHARED_LIBS))
    return()
  endif()
  install(TARGETS ${target} EXPORT morvel_targets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT devel
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  if(arg_ARCHIVE_ONLY)
    return()
  endif()

  target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  foreach(dir ${arg_HEADERS})
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
      COMPONENT devel FILES_MATCHING PATTERN "*.h")
  endforeach()
  set(cflags "-I\${includedir}")
  if(arg_BARE_INCLUDES)
    list(GET arg_HEADERS 0 first)
    get_filename_component(folder ${first} NAME)
    target_include_directories(${target} INTERFACE
      $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/${folder}>)
    string(APPEND cflags " -I\${includedir}/${folder}")
  endif()

  set(requires "")
  foreach(required ${arg_REQUIRES})
    list(APPEND requires "morvel_${required} = ${PROJECT_VERSION}")
  endforeach()
  string(JOIN " " requires ${requires})
  set(others ${arg_LIBS})
  if(NOT arg_REQUIRES)
    list(APPEND others ${zelp_cxx_runtime})
    if(NOT BUILD_SHARED_LIBS)
      target_link_libraries(${target} INTERFACE "$<INSTALL_INTERFACE:${zelp_cxx_runtime}>")
    endif()
  endif()
  zelp_link_flags(others ${others})
  # A static library brings nothing of its own dependencies, so a plain `pkg-config --libs` must
  # name them in Libs; Libs.private is only for shared builds.
  set(libs "-L\${libdir} -lmorvel_${name}")
  set(libs_private "")
  if(others AND BUILD_SHARED_LIBS)
    set(libs_private "${others}")
  elseif(others)
    string(APPEND libs " ${others}")
  endif()
  set(description "${arg_DESCRIPTION}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/morvel_library.pc.in
    ${PROJECT_BINARY_DIR}/pkgconfig/morvel_${name}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/morvel_${name}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT devel)
endfunction()

# ---- The libraries. ----

zelp_host_library(morvel_devlib devlib
  HEADERS devlib/include/morvel_devlib devlib/include/morvel_packager devlib/include/morvel-firmware
  DESCRIPTION "Host device library for zelp7x neural-network audio chips")
# A static board I/O layer brings the simulated board behind its "sim" port as an archive of its
# own; a shared one carries it inside.
set(evb_io_libs ${CMAKE_THREAD_LIBS_INIT})
if(TARGET zelp_sim)
  zelp_host_library(zelp_sim evb_sim ARCHIVE_ONLY)
  if(NOT BUILD_SHARED_LIBS)
    list(PREPEND evb_io_libs morvel_evb_sim)
  endif()
endif()
zelp_host_library(zelp_evb_io evb_io BARE_INCLUDES
  HEADERS evb/zelp5xxx_pi/include/morvel_evb_io REQUIRES devlib LIBS ${evb_io_libs}
  DESCRIPTION "Board I/O for zelp7x evaluation boards: the USB bridge and the simulated board")
zelp_host_library(morvel_board board
  HEADERS evb/board/include/morvel_board REQUIRES evb_io devlib
  DESCRIPTION "Opening zelp7x evaluation boards: bridge choice, board I/O, device library, input clock")
# A static host library brings the package reader's file checks as an archive of its own.
set(host_libs "")
if(NOT BUILD_SHARED_LIBS)
  zelp_host_library(morvel_pkg_tools pkg_tools ARCHIVE_ONLY)
  set(host_libs morvel_pkg_tools)
endif()
zelp_host_library(morvel_host host
  HEADERS evb/hostlib/include/morvel_host REQUIRES board evb_io devlib LIBS ${host_libs}
  DESCRIPTION "A host for the zelp7x chip's firmware: packages, info, matches, extraction, recording")
zelp_host_library(morvel_flash flash
  HEADERS evb/flashlib/include/morvel_flash REQUIRES board evb_io devlib
  DESCRIPTION "SPI NOR flash operations for zelp7x evaluation boards")

# ---- The CMake package. ----

if(zelp_install_libraries)
  set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/morvel)
  install(EXPORT morvel_targets NAMESPACE morvel:: FILE morvelTargets.cmake
    DESTINATION ${package_dir} COMPONENT devel)
  configure_package_config_file(cmake/morvelConfig.cmake.in
    ${PROJECT_BINARY_DIR}/morvelConfig.cmake INSTALL_DESTINATION ${package_dir})
  # Below 1.0 a new minor version may change the interface.
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/morvelConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/morvelConfig.cmake ${PROJECT_BINARY_DIR}/morvelConfigVersion.cmake
    DESTINATION ${package_dir} COMPONENT devel)
  # The package's earlier name, find_package(morvel_devlib), still finds it.
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/morvel_devlibConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
  install(FILES cmake/morvel_devlibConfig.cmake ${PROJECT_BINARY_DIR}/morvel_devlibConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/morvel_devlib COMPONENT devel)
endif()

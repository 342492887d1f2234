# What `cmake --install` puts where. Users get the tools and their manual pages (component
# `runtime`); hosts get the device library, the board I/O layer, their C headers, a CMake package
# and pkg-config files (component `devel`).
include(CMakePackageConfigHelpers)
find_package(Threads REQUIRED)

# The tools. Linked to shared libraries, they find them
# beside their own folder wherever the tree is installed.
file(RELATIVE_PATH bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
foreach(tool zelp7x_flash zelp7x_gang zelp7x_board_sim morvel_pkg_info zelp7x_host)
  if(TARGET ${tool})
    if(BUILD_SHARED_LIBS)
      set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
    endif()
    install(TARGETS ${tool} RUNTIME COMPONENT runtime)
  endif()
endforeach()

# udev rules under the prefix's lib/udev/rules.d (/usr/lib/udev/rules.d in the Debian package),
# not the multiarch library folder: udev reads only that one.
if(ZELP_UDEV_RULES)
  install(FILES ${ZELP_UDEV_RULES} DESTINATION lib/udev/rules.d COMPONENT runtime)
endif()

# Documents install compressed, as man-db reads them and Debian wants them: `out` names the file
# to install, NAME.gz in the build tree when gzip is there, else the source itself.
find_program(ZELP_GZIP gzip)
function(zelp_compressed out source)
  set(file ${source})
  if(ZELP_GZIP)
    get_filename_component(name ${source} NAME)
    set(file ${PROJECT_BINARY_DIR}/compressed/${name}.gz)
    # -n keeps the name and time stamp out of the archive, so the package builds reproducibly.
    add_custom_command(OUTPUT ${file}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/compressed
      COMMAND ${ZELP_GZIP} -9n -c ${source} > ${file} DEPENDS ${source} VERBATIM)
    add_custom_target(gzip_${name} ALL DEPENDS ${file})
  endif()
  set(${out} ${file} PARENT_SCOPE)
endfunction()

# Manual pages live in doc/man as NAME.SECTION, with @PROJECT_VERSION@ in their title line.
function(zelp_install_man_page page)
  string(REGEX REPLACE ".*\\.([1-9])$" "\\1" section ${page})
  configure_file(${PROJECT_SOURCE_DIR}/doc/man/${page} ${PROJECT_BINARY_DIR}/man/${page} @ONLY)
  zelp_compressed(file ${PROJECT_BINARY_DIR}/man/${page})
  install(FILES ${file} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT runtime)
endfunction()

# One line per page.
zelp_install_man_page(zelp7x_flash.1)
zelp_install_man_page(zelp7x_gang.1)
zelp_install_man_page(zelp7x_board_sim.1)
zelp_install_man_page(morvel_pkg_info.1)
zelp_install_man_page(zelp7x_host.1)

# The libraries a host links: the device library (morvel::devlib) and the board I/O layer
# (morvel::evb_io), whose "sim" port runs the simulated board in the host's process. A static
# board I/O layer needs the simulator's archive beside it; a shared one carries it inside.
set_target_properties(morvel_devlib PROPERTIES EXPORT_NAME devlib)
set_target_properties(zelp_evb_io PROPERTIES EXPORT_NAME evb_io)
set_target_properties(zelp_sim PROPERTIES EXPORT_NAME evb_sim)
set_target_properties(morvel_flash PROPERTIES EXPORT_NAME flash)
set(host_libraries morvel_devlib zelp_evb_io morvel_flash)
if(NOT BUILD_SHARED_LIBS)
  list(APPEND host_libraries zelp_sim)
endif()
# The library's headers keep their three folders under include/; the board I/O headers get a
# folder of their own, on the include path itself, so hosts include them by bare name as the
# tool does.
set(evb_include_dir ${CMAKE_INSTALL_INCLUDEDIR}/morvel_evb)
target_include_directories(morvel_devlib INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(zelp_evb_io INTERFACE $<INSTALL_INTERFACE:${evb_include_dir}>)
target_include_directories(morvel_flash INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS ${host_libraries} EXPORT morvel_devlib_targets
  ARCHIVE COMPONENT devel
  LIBRARY COMPONENT runtime NAMELINK_COMPONENT devel
  RUNTIME COMPONENT runtime)
install(DIRECTORY devlib/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT devel
  FILES_MATCHING PATTERN "*.h")
install(DIRECTORY evb/zelp5xxx_pi/include/ DESTINATION ${evb_include_dir} COMPONENT devel
  FILES_MATCHING PATTERN "*.h")
install(DIRECTORY evb/flashlib/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT devel
  FILES_MATCHING PATTERN "*.h")

# CMake package: find_package(morvel_devlib CONFIG) gives morvel::devlib, morvel::evb_io and
# morvel::flash.
set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/morvel_devlib)
install(EXPORT morvel_devlib_targets NAMESPACE morvel:: FILE morvel_devlibTargets.cmake
  DESTINATION ${package_dir} COMPONENT devel)
configure_package_config_file(cmake/morvel_devlibConfig.cmake.in
  ${PROJECT_BINARY_DIR}/morvel_devlibConfig.cmake INSTALL_DESTINATION ${package_dir})
# Below 1.0 a new minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/morvel_devlibConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/morvel_devlibConfig.cmake
              ${PROJECT_BINARY_DIR}/morvel_devlibConfigVersion.cmake
  DESTINATION ${package_dir} COMPONENT devel)

# A static C++ library needs the C++ runtime when a C compiler driver links it: the libraries
# the C++ driver adds that the C driver does not. The imported target and the pkg-config files
# both name them.
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
set(cxx_runtime ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
list(REMOVE_ITEM cxx_runtime ${CMAKE_C_IMPLICIT_LINK_LIBRARIES})
zelp_link_flags(pc_devlib_private ${cxx_runtime})
if(NOT BUILD_SHARED_LIBS)
  target_link_libraries(morvel_devlib INTERFACE "$<INSTALL_INTERFACE:${cxx_runtime}>")
endif()

# pkg-config files.
set(evb_private ${CMAKE_THREAD_LIBS_INIT})
if(NOT BUILD_SHARED_LIBS)
  list(PREPEND evb_private zelp_sim)
endif()
zelp_link_flags(pc_evb_private ${evb_private})
# A static library brings nothing of its own dependencies, so a plain `pkg-config --libs` must
# name them in Libs for a host to link; Libs.private is only for shared builds.
if(BUILD_SHARED_LIBS)
  set(pc_devlib_libs "")
  set(pc_evb_libs "")
else()
  set(pc_devlib_libs " ${pc_devlib_private}")
  set(pc_evb_libs " ${pc_evb_private}")
  set(pc_devlib_private "")
  set(pc_evb_private "")
endif()
# Paths relative to the file's own folder, so an installed tree found through it may be moved
# (cmake --install --prefix, DESTDIR) and stay right.
file(RELATIVE_PATH pc_up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" pc_up "${pc_up}")
set(pc_prefix "\${pcfiledir}/${pc_up}")
set(pc_libdir "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
set(pc_includedir "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(pc_prefix ${CMAKE_INSTALL_PREFIX})
  set(pc_libdir ${CMAKE_INSTALL_FULL_LIBDIR})
  set(pc_includedir ${CMAKE_INSTALL_FULL_INCLUDEDIR})
endif()
foreach(pc morvel_devlib morvel_evb_io morvel_flash)
  configure_file(cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT devel)
endforeach()

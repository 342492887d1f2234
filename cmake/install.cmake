# What `cmake --install` puts where for users: the tools, their manual pages and the udev rules
# (component `runtime`). The libraries for hosts are cmake/host_libraries.cmake's.

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
# to install, NAME.gz in the build tree when gzip (ZELP_GZIP, found in the top CMakeLists.txt) is
# there, else the source itself.
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

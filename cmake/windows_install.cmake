# The Windows download holds the programs, the README and the licence texts, side by side;
# cmake/packaging.cmake zips them.
install(TARGETS zelp7x_flash zelp7x_host morvel_pkg_info RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
foreach(licence LICENSE LICENSE.txt COPYING)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${licence})
    install(FILES ${PROJECT_SOURCE_DIR}/${licence} DESTINATION .)
  endif()
endforeach()
# winpthread is linked into the programs; its licence asks for its notices to travel with them.
set(ZELP_MINGW_NOTICES /usr/share/doc/mingw-w64-common/copyright CACHE FILEPATH
    "Copyright notices of the MinGW-w64 runtime linked into the programs")
if(EXISTS ${ZELP_MINGW_NOTICES})
  install(FILES ${ZELP_MINGW_NOTICES} DESTINATION . RENAME MINGW-W64-NOTICES.txt)
endif()

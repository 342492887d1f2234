# The Windows download: one zip, zelp7x_flash-<version>-win64.zip, with the two programs, the
# README and the licence texts, made by `cpack --preset windows`.
install(TARGETS zelp7x_flash morvel_pkg_info RUNTIME DESTINATION .)
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

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zelp7x_flash)
set(CPACK_PACKAGE_FILE_NAME zelp7x_flash-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON) # the symbols are of no use to a user and triple the size
include(CPack)

# The API reference: Doxygen reads the public headers of every host library (their folders come
# from zelp_host_library) and doc/api/index.md, and writes HTML into build/<preset>/api/html and
# section 3 manual pages, made installable by api_man_pages.cmake, into build/<preset>/api/man3. Any
# warning fails the build but one about a record field without a comment: a field's name and its
# record's comment say enough, while every file, record, enumeration, macro, variable and call has
# to say what it is and what a host may rely on. The development package installs it.
find_package(Doxygen QUIET)
set(zelp_docs_default OFF)
if(DOXYGEN_FOUND AND NOT WIN32)
  set(zelp_docs_default ON)
endif()
option(ZELP_BUILD_DOCS "Build the API reference with Doxygen (doxygen)" ${zelp_docs_default})
if(NOT ZELP_BUILD_DOCS)
  return()
endif()
if(NOT DOXYGEN_FOUND)
  message(FATAL_ERROR "ZELP_BUILD_DOCS needs Doxygen (doxygen)")
endif()

get_property(header_dirs GLOBAL PROPERTY ZELP_HOST_HEADER_DIRS)
set(doc_inputs ${PROJECT_SOURCE_DIR}/doc/api/index.md)
set(doc_strip "")
set(doc_headers "")
foreach(dir ${header_dirs})
  list(APPEND doc_inputs ${PROJECT_SOURCE_DIR}/${dir})
  get_filename_component(root ${PROJECT_SOURCE_DIR}/${dir} DIRECTORY)
  list(APPEND doc_strip ${root})
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.h)
  list(APPEND doc_headers ${headers})
endforeach()
list(REMOVE_DUPLICATES doc_strip)
# Doxygen lists are space separated, each entry quoted.
list(JOIN doc_inputs "\" \"" ZELP_DOC_INPUT)
list(JOIN doc_strip "\" \"" ZELP_DOC_STRIP)
set(ZELP_DOC_OUTPUT ${PROJECT_BINARY_DIR}/api)
configure_file(${PROJECT_SOURCE_DIR}/doc/api/Doxyfile.in ${ZELP_DOC_OUTPUT}/Doxyfile @ONLY)
file(WRITE ${ZELP_DOC_OUTPUT}/headers.txt "${doc_headers}")

set(index ${ZELP_DOC_OUTPUT}/html/index.html)
add_custom_command(OUTPUT ${index}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ZELP_DOC_OUTPUT}/html ${ZELP_DOC_OUTPUT}/man
  COMMAND ${DOXYGEN_EXECUTABLE} ${ZELP_DOC_OUTPUT}/Doxyfile
  COMMAND ${CMAKE_COMMAND} -DLOG=${ZELP_DOC_OUTPUT}/warnings.log -DOUTPUT=${index}
          -DHEADERS=${ZELP_DOC_OUTPUT}/headers.txt -P ${PROJECT_SOURCE_DIR}/cmake/api_docs_warnings.cmake
  COMMAND ${CMAKE_COMMAND} -DIN=${ZELP_DOC_OUTPUT}/man/man3 -DOUT=${ZELP_DOC_OUTPUT}/man3
          -DGZIP=${ZELP_GZIP} -P ${PROJECT_SOURCE_DIR}/cmake/api_man_pages.cmake
  DEPENDS ${doc_headers} ${PROJECT_SOURCE_DIR}/doc/api/index.md ${ZELP_DOC_OUTPUT}/Doxyfile
          ${PROJECT_SOURCE_DIR}/cmake/api_docs_warnings.cmake ${PROJECT_SOURCE_DIR}/cmake/api_man_pages.cmake
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "API reference (Doxygen)" VERBATIM)
add_custom_target(docs ALL DEPENDS ${index})
# The Windows download is its few programs; elsewhere the development package has the pages,
# registered with doc-base so Debian's documentation browsers list them.
if(NOT WIN32)
  install(DIRECTORY ${ZELP_DOC_OUTPUT}/html
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ZELP_DEV_PACKAGE} COMPONENT devel)
  install(DIRECTORY ${ZELP_DOC_OUTPUT}/man3 DESTINATION ${CMAKE_INSTALL_MANDIR} COMPONENT devel)
  set(ZELP_DOC_HTML_DIR ${CMAKE_INSTALL_FULL_DATAROOTDIR}/doc/${ZELP_DEV_PACKAGE}/html)
  configure_file(${PROJECT_SOURCE_DIR}/doc/api/doc-base.in ${ZELP_DOC_OUTPUT}/${ZELP_DEV_PACKAGE} @ONLY)
  install(FILES ${ZELP_DOC_OUTPUT}/${ZELP_DEV_PACKAGE}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc-base COMPONENT devel)
endif()

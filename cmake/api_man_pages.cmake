# Makes the API reference's section 3 manual pages installable: of the pages Doxygen wrote in IN,
# those named for the libraries' own headers and records (the Windows records the board I/O
# headers declare elsewhere, GUID and the like, would take names that are not ours) go to OUT,
# each with a NAME line that whatis and apropos read, no build date in its title (the package
# builds reproducibly), text lines that groff does not take for requests, and compressed with
# GZIP when it is given.
#   cmake -DIN=DIR -DOUT=DIR [-DGZIP=PROGRAM] -P api_man_pages.cmake
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
file(GLOB pages RELATIVE ${IN} ${IN}/morvel_*.3 ${IN}/zelp*.3)
foreach(page IN LISTS pages)
  string(REGEX REPLACE "\\.3$" "" name ${page})
  if(name MATCHES "\\.h$")
    set(what "a header of the zelp7x host libraries")
  else()
    set(what "a record of the zelp7x host libraries")
  endif()
  file(READ ${IN}/${page} text)
  string(REGEX REPLACE "^\\.TH \"[^\"]*\" 3 \"[^\"]*\"" ".TH \"${name}\" 3 \"\"" text "${text}")
  string(REGEX REPLACE "\n\\.SH NAME\n[^\n]*\n" "\n.SH NAME\n${name} \\\\- ${what}\n" text "${text}")
  # A line that starts with ' or . is a request to groff; Doxygen leaves such text lines as they are.
  string(REGEX REPLACE "\n'" "\n\\\\&'" text "${text}")
  file(WRITE ${OUT}/${page} "${text}")
  if(GZIP)
    execute_process(COMMAND ${GZIP} -9nf ${OUT}/${page} COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()

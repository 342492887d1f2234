# Fails the API reference's build on Doxygen's warnings in LOG, all but one kind: a record field
# without a comment. Doxygen leaves out, without a word, the calls of a header that has no @file
# comment, so each header in the list in HEADERS must have one. OUTPUT is removed on failure, so
# the next build runs Doxygen again.
#   cmake -DLOG=FILE -DOUTPUT=FILE -DHEADERS=FILE -P api_docs_warnings.cmake
file(READ ${LOG} warnings)
string(REGEX REPLACE "[^\n]*warning: Member [^\n]* \\(variable\\) of (struct|union) [^\n]* is not documented\\.\n"
       "" warnings "${warnings}")
file(READ ${HEADERS} headers)
foreach(header IN LISTS headers)
  file(STRINGS ${header} file_comment REGEX "@file")
  if(NOT file_comment)
    string(APPEND warnings "${header}: no @file comment, so the reference leaves its calls out\n")
  endif()
endforeach()
string(STRIP "${warnings}" warnings)
if(warnings)
  file(REMOVE ${OUTPUT})
  message(NOTICE "${warnings}")
  message(FATAL_ERROR "Doxygen warnings in the API reference (above)")
endif()

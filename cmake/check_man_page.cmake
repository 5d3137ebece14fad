# A CTest: groff formats the man page PAGE with all warnings on (-ww) and
# prints nothing (-z); any warning or error fails the test.
#   cmake -DGROFF=/usr/bin/groff -DPAGE=man/kelm.1 -P cmake/check_man_page.cmake
execute_process(COMMAND ${GROFF} -man -ww -z ${PAGE}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "groff -man -ww -z ${PAGE} (result ${rc}):\n${out}${err}")
endif()

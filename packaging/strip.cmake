# SPDX-License-Identifier: GPL-3.0-or-later
# Run by CPack on the staged files before it builds the package: strips the programs as Debian's
# dh_strip does (symbols, and the .comment and .note sections that carry no use at run time).
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_VELKARD_STRIP}" --remove-section=.comment --remove-section=.note
                          --strip-unneeded "${program}"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "strip failed on ${program}")
  endif()
endforeach()

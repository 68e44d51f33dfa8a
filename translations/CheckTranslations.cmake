# SPDX-License-Identifier: GPL-3.0-or-later
# Runs lupdate over copies of the translation files and fails when any text is left unfinished
# (new in the sources, not yet translated) or obsolete (gone from the sources), or when lupdate
# reports an error. The files themselves are not touched.
# cmake -DLUPDATE=... -DINCLUDE_DIR=... -DSOURCE_LIST=... -DTS_FILES=a.ts;b.ts -DWORK_DIR=... -P CheckTranslations.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(copies "")
foreach(ts IN LISTS TS_FILES)
  get_filename_component(name ${ts} NAME)
  file(COPY ${ts} DESTINATION ${WORK_DIR})
  list(APPEND copies ${WORK_DIR}/${name})
endforeach()
execute_process(COMMAND ${LUPDATE} -I ${INCLUDE_DIR} -locations none -no-ui-lines @${SOURCE_LIST}
                        -ts ${copies}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${result}):\n${out}${err}")
endif()
if(err MATCHES "[Ww]arning|[Ee]rror")
  message(FATAL_ERROR "lupdate complains:\n${err}")
endif()
set(bad "")
foreach(copy IN LISTS copies)
  file(STRINGS ${copy} lines ENCODING UTF-8)
  set(source "")
  foreach(line IN LISTS lines)
    if(line MATCHES "<source>(.*)</source>")
      set(source "${CMAKE_MATCH_1}")
    elseif(line MATCHES "type=\"(unfinished|obsolete|vanished)\"")
      get_filename_component(name ${copy} NAME)
      string(APPEND bad "  ${name}: ${CMAKE_MATCH_1}: ${source}\n")
    endif()
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "The translation files are not complete (run the update_translations target "
                      "and translate):\n${bad}")
endif()
message(STATUS "lupdate: ${out}")

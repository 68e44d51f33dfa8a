# SPDX-License-Identifier: GPL-3.0-or-later
# The sources whose texts the translation files hold: every folder with windows. lupdate reads
# these (the update_translations target and the completeness test).
set(VELKARD_TRANSLATION_FILES
    ${PROJECT_SOURCE_DIR}/translations/velkard_ru.ts
    ${PROJECT_SOURCE_DIR}/translations/velkard_en.ts
    ${PROJECT_SOURCE_DIR}/translations/velkard_de.ts)
set(velkard_translated_dirs ui cardfile/ui memory/ui print/ui measure/ui compare/ui export/ui net/ui session app)
set(VELKARD_TRANSLATED_SOURCES "")
foreach(dir IN LISTS velkard_translated_dirs)
  file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp ${PROJECT_SOURCE_DIR}/${dir}/*.h)
  list(APPEND VELKARD_TRANSLATED_SOURCES ${found})
endforeach()
list(SORT VELKARD_TRANSLATED_SOURCES)
# Without line numbers, so a moved line leaves the files as they are.
set(VELKARD_LUPDATE_OPTIONS -locations none -no-ui-lines)

# The program's translations (Qt Linguist): resources/translations/velodra_<lang>.ts, one per
# language, made into .qm files and built into the target under :/i18n. Their sources are every
# file of the given targets (forms included) and the extra files given; `cmake --build build
# --target update_translations` brings the .ts files up to date with them, and
# scripts/check-translations fails while a string has no translation or a translation no string.
# The command-line tools stay in English: their output is read by scripts.
#   velodra_translations(<target> LANGUAGES <lang>... TARGETS <target>... FILES <file>...)
function(velodra_translations target)
  cmake_parse_arguments(ARG "" "" "LANGUAGES;TARGETS;FILES" ${ARGN})
  find_package(Qt6 REQUIRED COMPONENTS LinguistTools)
  set(sources ${ARG_FILES})
  foreach(t IN LISTS ARG_TARGETS)
    get_target_property(dir ${t} SOURCE_DIR)
    get_target_property(files ${t} SOURCES)
    foreach(f IN LISTS files)
      if(f MATCHES "\\.(cpp|h|ui)$")
        cmake_path(ABSOLUTE_PATH f BASE_DIRECTORY ${dir})
        list(APPEND sources ${f})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES sources)
  list(SORT sources)
  set(ts_files)
  foreach(lang IN LISTS ARG_LANGUAGES)
    list(APPEND ts_files ${CMAKE_SOURCE_DIR}/resources/translations/velodra_${lang}.ts)
  endforeach()
  qt_add_translations(${target} TS_FILES ${ts_files} SOURCES ${sources} RESOURCE_PREFIX /i18n
                      LUPDATE_OPTIONS -no-obsolete -locations none)
  # The same list for the check, which runs lupdate on copies of the .ts files.
  list(JOIN sources "\n" lines)
  file(WRITE ${CMAKE_BINARY_DIR}/translations/sources.lst "${lines}\n")
  list(JOIN ts_files "\n" lines)
  file(WRITE ${CMAKE_BINARY_DIR}/translations/ts.lst "${lines}\n")
endfunction()

# The shared main of one label, made once: sets `main` in the caller.
function(velodra_test_main target source qt)
  if(NOT TARGET ${target})
    add_library(${target} STATIC ${CMAKE_SOURCE_DIR}/tests/support/${source})
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(${target} PUBLIC ${qt} GTest::gtest)
  endif()
  set(main ${target} PARENT_SCOPE)
endfunction()

# One test executable per named test of a folder (tests/<folder>/<name>_test.cpp), labelled,
# linked to the given libraries. Each label has one main: tests/support/UnitTestMain.cpp, which
# makes a QCoreApplication, for "unit", and tests/support/GuiTestMain.cpp, which makes the one
# QApplication, for "gui".
#   velodra_add_tests(<folder> <label> TESTS <name>... LIBS <target>...)
function(velodra_add_tests folder label)
  cmake_parse_arguments(ARG "" "" "TESTS;LIBS" ${ARGN})
  find_package(GTest REQUIRED)
  if(label STREQUAL "gui")
    velodra_test_main(velodra_gui_test_main GuiTestMain.cpp Qt6::Widgets)
  else()
    velodra_test_main(velodra_unit_test_main UnitTestMain.cpp Qt6::Core)
  endif()
  foreach(name IN LISTS ARG_TESTS)
    set(target ${folder}_${name}_test)
    add_executable(${target} ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/${name}_test.cpp)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock ${main})
    target_compile_definitions(${target} PRIVATE VELODRA_BINARY_DIR="${CMAKE_BINARY_DIR}"
                                                 VELODRA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS ${label} TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endforeach()
endfunction()

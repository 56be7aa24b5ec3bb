# One test executable per named test of a folder (tests/<folder>/<name>_test.cpp), labelled,
# linked to the given libraries.
#   velodra_add_tests(<folder> <label> TESTS <name>... LIBS <target>...)
function(velodra_add_tests folder label)
  cmake_parse_arguments(ARG "" "" "TESTS;LIBS" ${ARGN})
  find_package(GTest REQUIRED)
  foreach(name IN LISTS ARG_TESTS)
    set(target ${folder}_${name}_test)
    add_executable(${target} ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/${name}_test.cpp)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(${target} PRIVATE VELODRA_BINARY_DIR="${CMAKE_BINARY_DIR}"
                                                 VELODRA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS ${label} TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endforeach()
endfunction()

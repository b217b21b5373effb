include(GoogleTest)

# quiro_add_test(<name> SOURCES <files...> LIBS <targets...> [LABEL <label>] [TIMEOUT <s>]
#                [FILTER <gtest filter>])
# Builds one GoogleTest executable, links what it tests, and registers its cases with CTest.
# GUI tests run on Qt's offscreen platform; every test has a timeout so a hang fails instead
# of stalling the suite.
function(quiro_add_test name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT;FILTER" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/LeakSuppressions.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    QUIRO_RUN_TREE="${CMAKE_BINARY_DIR}"
    QUIRO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(NOT T_FILTER)
    set(T_FILTER "*")
  endif()
  gtest_discover_tests(${name}
    TEST_FILTER ${T_FILTER}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
               ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()

include(GoogleTest)

# quiro_add_test(<name> SOURCES <files...> LIBS <targets...> [LABEL <label>] [TIMEOUT <s>]
#                [FILTER <gtest filter>] [LOCK <resource>] [QT | NO_PCH])
# Builds one GoogleTest executable, links what it tests, and registers its cases with CTest.
# GUI tests run on Qt's offscreen platform; every test has a timeout so a hang fails instead
# of stalling the suite. Tests reuse precompiled GoogleTest headers, which must be compiled with
# their flags: QT, a test that links Qt Widgets, those precompiled with Qt Widgets'; NO_PCH, one
# that links only part of Qt, none; any other, GoogleTest's alone. Tests labelled nosan (long
# simulations) are not built under a sanitizer.
function(quiro_add_test name)
  cmake_parse_arguments(T "QT;NO_PCH" "LABEL;TIMEOUT;FILTER;LOCK" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(QUIRO_SANITIZED AND T_LABEL STREQUAL "nosan")
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} quiro_test_main)
  if(T_QT)
    quiro_use_pch(${name} quiro_pch_widget_test)
  elseif(NOT T_NO_PCH)
    quiro_use_pch(${name} quiro_pch_test)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    QUIRO_RUN_TREE="${CMAKE_BINARY_DIR}"
    QUIRO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(NOT T_FILTER)
    set(T_FILTER "*")
  endif()
  set(lock)
  if(T_LOCK)
    set(lock RESOURCE_LOCK ${T_LOCK})
  endif()
  gtest_discover_tests(${name}
    TEST_FILTER ${T_FILTER}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
               ENVIRONMENT QT_QPA_PLATFORM=offscreen ${lock})
endfunction()

# quiro_add_fuzzer(<name> SOURCES <files...> [LINK <flags...>] [RUN <arguments...>] [LABEL <label>])
# Builds a libFuzzer target with clang, whatever compiler builds the rest, under AddressSanitizer
# and UndefinedBehaviorSanitizer, and registers a short run of it, <name>_short, with RUN's
# arguments. Longer runs: <build>/tests/<name> -max_total_time=600
function(quiro_add_fuzzer name)
  cmake_parse_arguments(F "" "LABEL" "SOURCES;LINK;RUN" ${ARGN})
  if(NOT QUIRO_FUZZ)
    return()
  endif()
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    set(QUIRO_CLANGXX ${CMAKE_CXX_COMPILER})
  else()
    find_program(QUIRO_CLANGXX NAMES clang++ clang++-14)
  endif()
  if(NOT QUIRO_CLANGXX)
    message(STATUS "clang++ not found: the libFuzzer target ${name} is not built")
    return()
  endif()
  set(binary ${CMAKE_BINARY_DIR}/tests/${name})
  set(linker)
  if(QUIRO_HAS_LLD)
    set(linker -fuse-ld=lld)
  endif()
  add_custom_command(OUTPUT ${binary}
    COMMAND ${QUIRO_CLANGXX} -std=c++20 -O1 -g1 -Wall -Wextra -Werror
            -fsanitize=fuzzer,address,undefined -I${PROJECT_SOURCE_DIR} ${F_SOURCES} ${F_LINK}
            ${linker} -o ${binary}
    DEPENDS ${F_SOURCES}
    COMMENT "Building the libFuzzer target ${name} with clang")
  add_custom_target(${name} ALL DEPENDS ${binary})
  add_test(NAME ${name}_short COMMAND ${binary} ${F_RUN})
  set_tests_properties(${name}_short PROPERTIES LABELS ${F_LABEL} TIMEOUT 120)
endfunction()

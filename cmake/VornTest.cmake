# vorn_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...] [ENVIRONMENT ...]
#               [TIMEOUT s] [RUNNER command ...])
# Builds one GoogleTest program and registers it with CTest. Cases that take
# real seconds are named Slow... (or belong to a suite named Slow...): they
# are read from the sources, each becomes an entry <name>.<Case> labelled
# "<labels>;slow", so that ctest -j runs them side by side, and the entry
# <name> runs the rest. Nobody lists cases by hand, so a new case always runs
# somewhere. Under the armhf cross build the program runs through
# CMAKE_CROSSCOMPILING_EMULATOR; RUNNER goes in front of both.
find_package(GTest REQUIRED)
function(vorn_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT;RUNNER"
                        ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vorn_test_support GTest::gtest
                        GTest::gtest_main)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(command ${T_NAME})
  if(T_RUNNER)
    set(command ${T_RUNNER} ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${T_NAME}>)
  endif()
  set(slow_pattern "^Slow|\\.Slow")
  set(quick_cases 0)
  set(slow_filter "")
  foreach(source ${T_SOURCES})
    get_filename_component(source ${source} ABSOLUTE)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    file(READ ${source} text)
    string(REGEX MATCHALL "TEST(_[FP])?\\([ \n]*[A-Za-z0-9_]+,[ \n]*[A-Za-z0-9_]+" cases "${text}")
    foreach(case ${cases})
      string(REGEX REPLACE "^TEST(_[FP])?\\([ \n]*([A-Za-z0-9_]+),[ \n]*" "\\2." case "${case}")
      if(NOT case MATCHES "${slow_pattern}")
        math(EXPR quick_cases "${quick_cases} + 1")
        continue()
      endif()
      string(REGEX REPLACE "^.*\\." "" entry ${case})
      add_test(NAME ${T_NAME}.${entry} COMMAND ${command} --gtest_filter=${case})
      # A filter that selects nothing would pass; make that a failure.
      set_tests_properties(${T_NAME}.${entry} PROPERTIES
                           LABELS "${T_LABELS};slow" TIMEOUT 120
                           ENVIRONMENT "${T_ENVIRONMENT}"
                           FAIL_REGULAR_EXPRESSION "Running 0 tests")
      set(slow_filter "--gtest_filter=-Slow*.*:*.Slow*")
    endforeach()
  endforeach()
  if(slow_filter AND quick_cases EQUAL 0)
    return()
  endif()
  add_test(NAME ${T_NAME} COMMAND ${command} ${slow_filter})
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}"
                       TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENVIRONMENT}")
endfunction()

# --- Stand-ins that tests start as children (cross builds) -------------------
# Under the armhf cross build the tests run in qemu-arm, and an emulated
# program cannot start another ARM program (no binfmt handler), so the
# stand-ins a test starts come from a native build of tools/ instead:
# scripts/cross-armhf sets VORN_NATIVE_TOOLS_DIR to the folder holding them.
#
#   vorn_tool_path(shim_path logshim)
#   target_compile_definitions(foo_test PRIVATE VORN_LOGSHIM="${shim_path}")
#
# vorn_tool_path(<out-var> <target>): "${VORN_NATIVE_TOOLS_DIR}/<target>" when
# that folder is set, else $<TARGET_FILE:<target>>.
set(VORN_NATIVE_TOOLS_DIR "" CACHE PATH
    "Folder of natively built stand-ins for tests of a cross build")
function(vorn_tool_path out target)
  if(VORN_NATIVE_TOOLS_DIR)
    set(${out} "${VORN_NATIVE_TOOLS_DIR}/${target}" PARENT_SCOPE)
  else()
    set(${out} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
  endif()
endfunction()

# vorn_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...] [ENVIRONMENT ...])
# Builds one GoogleTest program and registers it with CTest under its name.
# Under the armhf cross build CMake runs it through CMAKE_CROSSCOMPILING_EMULATOR.
find_package(GTest REQUIRED)
function(vorn_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vorn_test_support GTest::gtest
                        GTest::gtest_main)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  if(T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
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

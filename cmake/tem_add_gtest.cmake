# tem_add_gtest(<name> SOURCES <test files...> LIBS <libraries...>
#               [DEFINITIONS <compile definitions...>] [DEPENDS <targets built first...>]
#               [DISCOVERY_TIMEOUT <seconds>] [TIMEOUT <seconds per test>])
# One GoogleTest program beside the code it tests, linked with gtest_main, its
# tests registered one by one with CTest. Nothing is added when TEM_BUILD_TESTS
# is off. DEPENDS names programs a whole-program test runs.
# SPDX-License-Identifier: BSD-3-Clause
function(tem_add_gtest name)
  if(NOT TEM_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DISCOVERY_TIMEOUT;TIMEOUT" "SOURCES;LIBS;DEFINITIONS;DEPENDS")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_SOURCES)
    message(FATAL_ERROR "tem_add_gtest(${name}): SOURCES is required; unexpected: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} ${arg_LIBS} GTest::gtest_main)
  if(arg_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${arg_DEFINITIONS})
  endif()
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
  set(discover)
  if(arg_DISCOVERY_TIMEOUT)
    list(APPEND discover DISCOVERY_TIMEOUT ${arg_DISCOVERY_TIMEOUT})
  endif()
  if(arg_TIMEOUT)
    list(APPEND discover PROPERTIES TIMEOUT ${arg_TIMEOUT})
  endif()
  gtest_discover_tests(${name} ${discover})
endfunction()

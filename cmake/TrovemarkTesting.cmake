# One way to add a test: a GoogleTest executable discovered by CTest.
#   trovemark_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib... [LABELS l...] [TIMEOUT s]
#                      [BOTH_WALKS] [MACOS_PORT])
# BOTH_WALKS registers every case a second time, prefixed "reading-everything/",
# with the scene engine reading every attribute of every node before the helper
# sees the first: the helper's answers must not depend on how far it reads.
# MACOS_PORT registers every case once more, prefixed "through-macos/", with
# the scene fixture's port() the macOS adapter over the simulated Mac over the
# scene: the same answers, messages and operations through that adapter.
if(TROVEMARK_BUILD_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

function(trovemark_add_test)
  if(NOT TROVEMARK_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "BOTH_WALKS;MACOS_PORT" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE
    TROVEMARK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TROVEMARK_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  if(T_BOTH_WALKS)
    gtest_discover_tests(${T_NAME}
      DISCOVERY_TIMEOUT 60
      TEST_PREFIX "reading-everything/"
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
                 ENVIRONMENT "TROVEMARK_SCENE_WALK=everything")
  endif()
  if(T_MACOS_PORT)
    gtest_discover_tests(${T_NAME}
      DISCOVERY_TIMEOUT 60
      TEST_PREFIX "through-macos/"
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
                 ENVIRONMENT "TROVEMARK_SCENE_PORT=macos")
  endif()
endfunction()

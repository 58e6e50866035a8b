# lintavel_add_test(NAME [GUI] SOURCES file... LIBS lib... [LABELS label...])
# Builds one GoogleTest executable and registers its cases with CTest. Every test
# runs with a pinned locale and time zone and a private home, so no test depends on
# the developer's own settings. GUI tests get a main that creates the QApplication.
function(lintavel_add_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(ARG_GUI)
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/qt_test_main.cpp)
    set(test_main)
  else()
    add_executable(${name} ${ARG_SOURCES})
    set(test_main GTest::gtest_main)
  endif()
  lintavel_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock ${test_main})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  # GCC 12 at -O3 warns falsely about std::string concatenation (its bug 105329).
  target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
  target_compile_definitions(${name} PRIVATE LINTAVEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      LABELS "${ARG_LABELS}"
      ENVIRONMENT "LANG=C.UTF-8;LC_ALL=C.UTF-8;TZ=UTC;QT_QPA_PLATFORM=offscreen;HOME=${CMAKE_BINARY_DIR}/test-home;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-home/.config")
endfunction()
include(GoogleTest)

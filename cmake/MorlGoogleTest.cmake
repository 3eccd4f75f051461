# GoogleTest: Debian's prebuilt libraries for the plain and AddressSanitizer
# builds; built from Debian's source package where the compiler or the
# runtime must match (the MinGW cross build, ThreadSanitizer).
if(NOT WIN32 AND NOT MORL_SANITIZE MATCHES "thread")
  find_package(GTest REQUIRED)
  if(NOT TARGET GTest::gmock)
    find_library(_gmock gmock REQUIRED)
    add_library(GTest::gmock UNKNOWN IMPORTED)
    set_target_properties(GTest::gmock PROPERTIES IMPORTED_LOCATION ${_gmock})
  endif()
else()
  set(_gtest_src /usr/src/googletest)
  if(NOT EXISTS ${_gtest_src}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found at ${_gtest_src}; run tools/install-deps")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${_gtest_src} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(_t gtest gmock gtest_main)
    if(NOT TARGET GTest::${_t})
      add_library(GTest::${_t} ALIAS ${_t})
    endif()
  endforeach()
endif()
include(GoogleTest)

# The recorder's suites labelled `threaded`: the ThreadSanitizer stage builds
# and runs only these.
add_custom_target(threaded_tests)

# Each build tree's tests keep their files in a folder of its own, so that two
# trees tested at once (two sanitizer stages, two checkouts) never write the
# same file.
set(MORL_TEST_TMPDIR "${CMAKE_BINARY_DIR}/test_tmp")
file(MAKE_DIRECTORY "${MORL_TEST_TMPDIR}")

# morl_add_test(NAME SOURCES... LIBS ...): one gtest executable registered with CTest.
# PORTABLE marks suites that also run under Wine in the cross build. MACHINE
# marks suites on the simulated machine: their main() (tests/support) fails
# a test that leaves simulated objects alive.
function(morl_add_test name)
  cmake_parse_arguments(T "PORTABLE;MACHINE" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(WIN32 AND NOT T_PORTABLE)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  if(T_MACHINE)
    set(_main machine_test_main)
  else()
    set(_main GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock ${_main}
    morl_warnings)
  # Under a sanitizer the suites' own sources are built unoptimised: optimising
  # the instrumented GoogleTest macros took most of the sanitizer build (a
  # table-heavy suite 42 s at -O2, 7 s at -O0), while the product and the
  # simulated machine the suites run keep their optimisation.
  if(MORL_SANITIZE AND NOT MSVC)
    target_compile_options(${name} PRIVATE -O0)
  endif()
  if("threaded" IN_LIST T_LABELS AND CMAKE_CURRENT_SOURCE_DIR MATCHES "/tests/recorder$")
    add_dependencies(threaded_tests ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT 600 ENVIRONMENT "TEST_TMPDIR=${MORL_TEST_TMPDIR}")
endfunction()

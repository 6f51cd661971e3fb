# Native build: portable code under AddressSanitizer and UndefinedBehaviorSanitizer,
# its unit tests, Linux tools, and the Windows build as an external project.
enable_testing()

# ccache when present: worktrees side by side share one cache (paths taken relative to the
# folder above the source tree).
find_program(Z_CCACHE ccache)
set(z_launcher "")
if(Z_CCACHE)
  get_filename_component(z_ccache_base ${CMAKE_SOURCE_DIR} DIRECTORY)
  set(z_launcher env CCACHE_BASEDIR=${z_ccache_base} CCACHE_NOHASHDIR=true ${Z_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${z_launcher})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${z_launcher})
endif()
string(REPLACE ";" "|" z_launcher_arg "${z_launcher}")

find_package(GTest REQUIRED)
include(GoogleTest)

set(Z_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(zportable STATIC ${Z_PORTABLE_SOURCES} ${Z_NATIVE_ONLY_SOURCES})
target_include_directories(zportable PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(zportable PRIVATE ${Z_WARNINGS} ${Z_SANITIZE})
target_link_options(zportable PUBLIC ${Z_SANITIZE})
# The package's blocks are zlib streams (package/ZLibOpen).
find_package(ZLIB REQUIRED)
target_link_libraries(zportable PUBLIC ZLIB::ZLIB)

file(GLOB Z_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
add_executable(native_tests ${Z_NATIVE_TESTS})
target_compile_options(native_tests PRIVATE ${Z_WARNINGS} ${Z_SANITIZE})
target_link_libraries(native_tests PRIVATE zportable GTest::gtest GTest::gtest_main)
gtest_discover_tests(native_tests TEST_PREFIX "native." DISCOVERY_TIMEOUT 60 PROPERTIES LABELS native)

# Linux tools: the package builder and the stub's post-link step.
add_subdirectory(tools/zpack)
add_subdirectory(tools/pefix)
add_subdirectory(tools/zmutate)
target_link_libraries(native_tests PRIVATE zpacklib zmutatelib)
target_compile_definitions(native_tests PRIVATE Z_ZPACK_EXE="$<TARGET_FILE:zpack>")
add_dependencies(native_tests zpack)

# The Windows builds: cross-compiled with mingw-w64 from the same sources, the 32-bit
# flavour (i686, build/windows: ZStub.exe, the product) and the 64-bit one (x86_64,
# build/windows-x86_64: the stub for Windows without 32-bit support). One of them runs its
# whole suite under Wine: Z_WINARCH, else the environment's Z_WINARCH, else the flavour
# this host can run (scripts/winarch.bash: a host that runs no 32-bit program cannot start
# Wine's 32-bit loader). The other one is built and runs only part of its tests:
#  - the 64-bit flavour beside a 32-bit suite: its stub's checks and the end-to-end
#    install, web install and update under Wine's 64-bit loader ("e2e");
#  - the 32-bit flavour beside a 64-bit suite: its stub's checks, no Wine ("static").
set(Z_WINARCH "" CACHE STRING "Windows flavour whose whole suite runs under Wine: i686, x86_64 or empty (what this host runs)")
if(Z_WINARCH)
  set(z_wine_flavour ${Z_WINARCH})
elseif(NOT "$ENV{Z_WINARCH}" STREQUAL "")
  set(z_wine_flavour $ENV{Z_WINARCH})
else()
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/winarch.bash
    OUTPUT_VARIABLE z_wine_flavour OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE z_probe)
  if(NOT z_probe EQUAL 0)
    message(FATAL_ERROR "scripts/winarch.bash could not tell which Windows flavour this host runs")
  endif()
endif()
if(NOT z_wine_flavour MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "Z_WINARCH must be i686 or x86_64, not '${z_wine_flavour}'")
endif()
message(STATUS "Windows flavour whose suite runs under Wine: ${z_wine_flavour}")


# Z_OTHER_FLAVOUR=OFF builds only the flavour whose suite runs (a working copy's quick loop).
option(Z_OTHER_FLAVOUR "Also build the Windows flavour whose whole suite does not run here" ON)
include(ExternalProject)
set(z_windows_test_dirs "")
foreach(arch i686 x86_64)
  if(NOT Z_OTHER_FLAVOUR AND NOT arch STREQUAL z_wine_flavour)
    continue()
  endif()
  if(arch STREQUAL z_wine_flavour)
    set(tests full)
  elseif(arch STREQUAL x86_64)
    set(tests e2e)
  else()
    set(tests static)
  endif()
  if(arch STREQUAL i686)
    set(suffix "")
  else()
    set(suffix -${arch})
  endif()
  ExternalProject_Add(windows-${arch}
    LIST_SEPARATOR |
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/windows${suffix}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-${arch}.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DZ_WINE_BENCH_DIR=${CMAKE_BINARY_DIR}/wine${suffix}
      -DZ_NATIVE_BINARY_DIR=${CMAKE_BINARY_DIR}
      -DZ_WINDOWS_TESTS=${tests}
      -DCMAKE_C_COMPILER_LAUNCHER=${z_launcher_arg}
      -DCMAKE_CXX_COMPILER_LAUNCHER=${z_launcher_arg}
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
  # The Windows build runs pefix after linking the stub and zpack to make its test packages.
  add_dependencies(windows-${arch} pefix zpack)
  string(APPEND z_windows_test_dirs "subdirs(\"${CMAKE_BINARY_DIR}/windows${suffix}\")\n")
endforeach()

# Fuzz targets of every parser of untrusted input (clang's libFuzzer); each
# runs a few seconds under CTest over its kept corpus, new inputs going to the build folder.
find_program(Z_CLANGXX clang++)
if(Z_CLANGXX)
  set(Z_FUZZ_BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz)
  ExternalProject_Add(fuzz
    LIST_SEPARATOR |
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz
    BINARY_DIR ${Z_FUZZ_BINARY_DIR}
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${Z_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
      -DCMAKE_CXX_COMPILER_LAUNCHER=${z_launcher_arg}
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  include(${CMAKE_SOURCE_DIR}/tests/fuzz/Targets.cmake)
  foreach(target ${Z_FUZZ_TARGETS})
    file(MAKE_DIRECTORY ${Z_FUZZ_BINARY_DIR}/found-${target})
    add_test(NAME fuzz.${target}
      COMMAND ${Z_FUZZ_BINARY_DIR}/fuzz_${target} -max_total_time=5 -timeout=10 -rss_limit_mb=1024
        ${Z_FUZZ_BINARY_DIR}/found-${target} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${target})
    set_tests_properties(fuzz.${target} PROPERTIES TIMEOUT 60 LABELS fuzz)
  endforeach()
endif()

# CTest descends into the Windows builds' tests from here.
file(WRITE ${CMAKE_BINARY_DIR}/windows-tests.cmake "${z_windows_test_dirs}")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/windows-tests.cmake)

# Includes between the folders against the layer table of ARCHITECTURE.md (and a planted
# upward include, which must be caught).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/static/layers.py --self-test ${CMAKE_SOURCE_DIR})
set_tests_properties(layers PROPERTIES LABELS static)
# The C++ lines changed by the last commit against .clang-format.
add_test(NAME format COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/format-check.sh)
set_tests_properties(format PROPERTIES LABELS static)

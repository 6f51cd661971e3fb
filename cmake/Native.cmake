# Native build: portable code under AddressSanitizer and UndefinedBehaviorSanitizer,
# its unit tests, Linux tools, and the Windows build as an external project.
enable_testing()
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
gtest_discover_tests(native_tests TEST_PREFIX "native." DISCOVERY_TIMEOUT 60)

# Linux tools: the package builder and the stub's post-link step.
add_subdirectory(tools/zpack)
add_subdirectory(tools/pefix)
target_link_libraries(native_tests PRIVATE zpacklib)
target_compile_definitions(native_tests PRIVATE Z_ZPACK_EXE="$<TARGET_FILE:zpack>")
add_dependencies(native_tests zpack)

# The Windows build: cross-compiled with mingw-w64, its tests run under Wine.
include(ExternalProject)
set(Z_WINDOWS_BINARY_DIR ${CMAKE_BINARY_DIR}/windows)
ExternalProject_Add(windows
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${Z_WINDOWS_BINARY_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DZ_WINE_BENCH_DIR=${CMAKE_BINARY_DIR}/wine
    -DZ_NATIVE_BINARY_DIR=${CMAKE_BINARY_DIR}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD ON)
# The Windows build runs pefix after linking the stub and zpack to make its test packages.
add_dependencies(windows pefix zpack)

# Fuzz targets of every parser of untrusted input (clang's libFuzzer); each
# runs a few seconds under CTest over its kept corpus, new inputs going to the build folder.
find_program(Z_CLANGXX clang++)
if(Z_CLANGXX)
  set(Z_FUZZ_BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz)
  ExternalProject_Add(fuzz
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz
    BINARY_DIR ${Z_FUZZ_BINARY_DIR}
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${Z_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  include(${CMAKE_SOURCE_DIR}/tests/fuzz/Targets.cmake)
  foreach(target ${Z_FUZZ_TARGETS})
    file(MAKE_DIRECTORY ${Z_FUZZ_BINARY_DIR}/found-${target})
    add_test(NAME fuzz.${target}
      COMMAND ${Z_FUZZ_BINARY_DIR}/fuzz_${target} -max_total_time=5 -timeout=10 -rss_limit_mb=1024
        ${Z_FUZZ_BINARY_DIR}/found-${target} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${target})
    set_tests_properties(fuzz.${target} PROPERTIES TIMEOUT 60)
  endforeach()
endif()

# CTest descends into the Windows build's tests from here.
file(WRITE ${CMAKE_BINARY_DIR}/windows-tests.cmake "subdirs(\"${Z_WINDOWS_BINARY_DIR}\")\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/windows-tests.cmake)

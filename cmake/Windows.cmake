# Windows build: ZStub.exe and everything that runs under Wine, for one flavour (the
# toolchain's processor: i686 or x86_64).
enable_testing()
include(GoogleTest)

set(Z_ARCH ${CMAKE_SYSTEM_PROCESSOR})
if(NOT Z_ARCH MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "unknown Windows flavour ${Z_ARCH}: use cmake/mingw-i686.cmake or cmake/mingw-x86_64.cmake")
endif()
# Which tests this build registers (cmake/Native.cmake): "full" every test, "e2e" the
# stub's checks and the end-to-end scripts, "static" the stub's checks only (no Wine).
if(NOT Z_WINDOWS_TESTS)
  set(Z_WINDOWS_TESTS full)
endif()
# The 64-bit flavour's tests are told apart by their names.
if(Z_ARCH STREQUAL i686)
  set(Z_TEST_PREFIX "")
else()
  set(Z_TEST_PREFIX "x64.")
endif()

if(NOT Z_WINE_BENCH_DIR)
  set(Z_WINE_BENCH_DIR ${CMAKE_BINARY_DIR}/wine)
endif()
# Every Windows test runs through the Wine bench (Xvfb + a private prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_SOURCE_DIR}/scripts/wine-bench.sh run ${Z_WINE_BENCH_DIR})

# Static C/C++ runtimes: the stub runs from any folder with no DLL beside it.
set(Z_STATIC_LINK -static -static-libgcc -static-libstdc++)
add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)

add_library(zportable STATIC ${Z_PORTABLE_SOURCES} ${Z_WINDOWS_PLATFORM_SOURCES})
target_include_directories(zportable PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(zportable PRIVATE ${Z_WARNINGS})
# zlib linked statically: the package's blocks are zlib streams (package/ZLibOpen).
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
target_link_libraries(zportable PUBLIC ZLIB::ZLIB)

add_library(zwin STATIC ${Z_WINDOWS_SOURCES})
target_include_directories(zwin PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(zwin PRIVATE ${Z_WARNINGS})
# Only DLLs that Windows always loads from its own folder are imported at load time;
# everything else is loaded at run time after the DLL search is restricted.
target_link_libraries(zwin PUBLIC zportable kernel32 user32 gdi32 advapi32 shell32)

# The stub is part of every installation file, so it has its own build of the code, for
# size (the tests and tools above link the plain one):
#  - -Os: extraction time is zlib's inflate and the file writes, which it does not touch
#    (scripts/bench-extract.sh measures it with extractrun, which links this build);
#  - link-time optimisation across the units, which leaves out every routine that no role
#    of the stub reaches. --gc-sections alone cannot: the linker keeps the exception
#    frames of every function, and they refer to it. Unused data goes at that step too;
#  - no -fdata-sections: with it, this compiler gives every object that is zero until its
#    constructor runs (each unit's state, the random generator) a .data section of its
#    own, stored in the file (4.4 KB); without it they are in .bss, which takes no bytes;
#  - -fno-threadsafe-statics: the stub runs on one thread (no routine of it starts
#    another), so local statics need no lock around their first use;
#  - -fno-rtti: no stub code asks a type at run time (exceptions keep their type
#    information, so catching by type is unchanged);
#  - std::string's members compiled into the stub (driver/StubStringPrelude.h, included
#    into every unit): the library's instantiations come as one object whose unwinding
#    tables the Windows linker keeps whole (23 KB of the 32-bit stub with its code).
# Everything linked with zstub is compiled with these options: the linker cannot merge
# the inline functions of optimised and plain objects.
set(Z_STUB_CODE -Os -include ${CMAKE_SOURCE_DIR}/driver/StubStringPrelude.h -flto=auto -ffunction-sections -fno-threadsafe-statics -fno-rtti)
add_library(zstub STATIC ${Z_PORTABLE_SOURCES} ${Z_WINDOWS_PLATFORM_SOURCES} ${Z_WINDOWS_SOURCES})
target_include_directories(zstub PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(zstub PRIVATE ${Z_WARNINGS} PUBLIC ${Z_STUB_CODE})
# One link-time partition: GCC 12's identical-code folding across partitions stops with an
# internal error on this code base (binds_to_current_def_p); a single partition also gives
# the smallest file.
target_link_options(zstub INTERFACE ${Z_STUB_CODE} -flto-partition=one -Wl,--gc-sections)
target_link_libraries(zstub PUBLIC ZLIB::ZLIB kernel32 user32 gdi32 advapi32 shell32)

# The manifest names the flavour's processor ("x86" or "amd64"): Windows refuses a
# program whose manifest names another.
if(Z_ARCH STREQUAL i686)
  set(Z_MANIFEST_ARCH x86)
else()
  set(Z_MANIFEST_ARCH amd64)
endif()
configure_file(res/ZStub.manifest.in ${CMAKE_BINARY_DIR}/res/ZStub.manifest @ONLY)
add_executable(ZStub WIN32 ${Z_STUB_MAIN} driver/StubLibraryErrors.cpp driver/StubSingleThread.cpp ${Z_STUB_RESOURCES})
target_compile_options(ZStub PRIVATE ${Z_WARNINGS})
# Outside link-time optimisation: with these replacements in it, GCC 12's dead-store pass
# fails (internal compiler error) on some layouts of the stub's code.
set_source_files_properties(driver/StubLibraryErrors.cpp PROPERTIES COMPILE_OPTIONS -fno-lto)
target_link_libraries(ZStub PRIVATE zstub)
target_include_directories(ZStub PRIVATE ${CMAKE_BINARY_DIR}/res)
# An uncaught exception ends the stub with abort() but without the runtime's verbose
# report: that goes to a standard error stream the GUI stub does not have, and its name
# demangler alone would be a seventh of the stub. (i686 symbols carry a leading underscore.)
if(Z_ARCH STREQUAL i686)
  set(z_terminate_handler -Wl,--defsym=__ZN9__gnu_cxx27__verbose_terminate_handlerEv=_abort)
else()
  set(z_terminate_handler -Wl,--defsym=_ZN9__gnu_cxx27__verbose_terminate_handlerEv=abort)
endif()
target_link_options(ZStub PRIVATE ${Z_STATIC_LINK} -mwindows -s ${z_terminate_handler})
set_target_properties(ZStub PROPERTIES OUTPUT_NAME ZStub SUFFIX .exe)

# CI keeps the stub small (README, "Builds"). When it grows past the limit, look at what
# the linker keeps (-Wl,-Map) before raising it.
if(Z_ARCH STREQUAL i686)
  set(Z_STUB_SIZE_LIMIT 400000)
else()
  set(Z_STUB_SIZE_LIMIT 360000)  # 330,752 bytes when the 64-bit flavour came in
endif()
add_test(NAME ${Z_TEST_PREFIX}stub.size COMMAND ${CMAKE_COMMAND} -DSTUB=$<TARGET_FILE:ZStub> -DLIMIT=${Z_STUB_SIZE_LIMIT}
  -P ${CMAKE_SOURCE_DIR}/cmake/CheckStubSize.cmake)
# The stub's file read without running it: PE32 or PE32+ of its flavour, GUI, PE header
# where the package builder needs it, load-time imports, hardening flags, manifest.
add_test(NAME ${Z_TEST_PREFIX}stub.pe COMMAND bash ${CMAKE_SOURCE_DIR}/tests/static/stub_pe.sh
  $<TARGET_FILE:ZStub> ${Z_ARCH} ${Z_NATIVE_BINARY_DIR}/pefix)
set_tests_properties(${Z_TEST_PREFIX}stub.size ${Z_TEST_PREFIX}stub.pe PROPERTIES LABELS static)
# The vendor's guides (README's quick start, docs/*.md) run as written with this stub and
# the sample engine: the tools built and installed into a fresh home, no Wine.
if(Z_WINDOWS_TESTS STREQUAL full)
  add_test(NAME docs.guides COMMAND bash ${CMAKE_SOURCE_DIR}/tests/docs/guides.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(docs.guides PROPERTIES LABELS docs TIMEOUT 600)
endif()

# The package builder records the package's end at bytes 248..255 of the stub, and the
# reader looks for "PE" at 256: pefix (a native tool of the native build) moves the PE
# header there after linking. zpack (native) makes the packages the tests run.
if(NOT Z_NATIVE_BINARY_DIR)
  message(FATAL_ERROR "Z_NATIVE_BINARY_DIR: configure the Windows build from the native one")
endif()
set(Z_PEFIX ${Z_NATIVE_BINARY_DIR}/pefix)
set(Z_ZPACK ${Z_NATIVE_BINARY_DIR}/zpack)
add_custom_command(TARGET ZStub POST_BUILD COMMAND ${Z_PEFIX} $<TARGET_FILE:ZStub> VERBATIM)
add_subdirectory(tools/zpack tools/zpack)

# Tools that run under Windows (test helpers, viewers, the sample engine).
file(GLOB Z_WINDOWS_TOOL_DIRS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/win/*/CMakeLists.txt)
foreach(tool_list ${Z_WINDOWS_TOOL_DIRS})
  get_filename_component(tool_dir ${tool_list} DIRECTORY)
  get_filename_component(tool_name ${tool_dir} NAME)
  add_subdirectory(${tool_dir} tools/${tool_name})
endforeach()

# GoogleTest, cross-compiled from Debian's sources.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The Windows unit tests: one gtest program, built for every flavour.
file(GLOB Z_WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
add_executable(wine_tests ${Z_WINE_TESTS} tests/wine/wine_main.cpp tests/wine/TestSupport.cpp)
target_compile_options(wine_tests PRIVATE ${Z_WARNINGS})
target_link_libraries(wine_tests PRIVATE zwin gtest)
# The extraction tests build their packages with the package builder itself.
target_link_libraries(wine_tests PRIVATE zpacklib)
target_link_options(wine_tests PRIVATE ${Z_STATIC_LINK})
target_compile_definitions(wine_tests PRIVATE
  Z_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(wine_tests ZStub)
if(TARGET ztestapp)
  add_dependencies(wine_tests ztestapp)
endif()

# Wine bench fixture: Xvfb and a persistent wineserver for the whole test run, one bench
# (and prefix) for each flavour.
if(Z_WINDOWS_TESTS STREQUAL static)
  return()
endif()
set(z_fixture wine-${Z_ARCH})
# The tests of one bench run one at a time (window classes, atoms, the viewer window and
# the desktop are shared); the two flavours' benches have their own displays and prefixes,
# so the 64-bit end-to-end scripts run beside the 32-bit suite.
set(z_desktop wine-desktop-${Z_ARCH})
add_test(NAME ${Z_TEST_PREFIX}wine.bench.start
  COMMAND ${CMAKE_COMMAND} -E env Z_WINARCH=${Z_ARCH} bash ${CMAKE_SOURCE_DIR}/scripts/wine-bench.sh start ${Z_WINE_BENCH_DIR})
add_test(NAME ${Z_TEST_PREFIX}wine.bench.stop COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/wine-bench.sh stop ${Z_WINE_BENCH_DIR})
set_tests_properties(${Z_TEST_PREFIX}wine.bench.start PROPERTIES FIXTURES_SETUP ${z_fixture} TIMEOUT 300 LABELS "wine;e2e")
set_tests_properties(${Z_TEST_PREFIX}wine.bench.stop PROPERTIES FIXTURES_CLEANUP ${z_fixture} TIMEOUT 120 LABELS "wine;e2e")

# Script-driven tests: tests/wine/*.sh, each run with the bench's environment; beside a
# 32-bit suite the 64-bit flavour runs only the end-to-end install, web install and update.
if(Z_WINDOWS_TESTS STREQUAL e2e)
  set(Z_WINE_SCRIPTS install_flow web_install update_flow)
  list(TRANSFORM Z_WINE_SCRIPTS PREPEND ${CMAKE_SOURCE_DIR}/tests/wine/)
  list(TRANSFORM Z_WINE_SCRIPTS APPEND .sh)
else()
  file(GLOB Z_WINE_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*.sh)
endif()
# The download-fault matrix spends its seven minutes mostly waiting on the fault server's
# slow answers: it runs on a second bench of its own, beside the other tests.
set(z_second_bench_scripts download_faults)
if(NOT Z_WINDOWS_TESTS STREQUAL e2e)
  set(z_bench2 ${Z_WINE_BENCH_DIR}-2)
  add_test(NAME ${Z_TEST_PREFIX}wine.bench2.start
    COMMAND ${CMAKE_COMMAND} -E env Z_WINARCH=${Z_ARCH} bash ${CMAKE_SOURCE_DIR}/scripts/wine-bench.sh start ${z_bench2})
  add_test(NAME ${Z_TEST_PREFIX}wine.bench2.stop COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/wine-bench.sh stop ${z_bench2})
  set_tests_properties(${Z_TEST_PREFIX}wine.bench2.start PROPERTIES FIXTURES_SETUP ${z_fixture}-2 TIMEOUT 300 LABELS e2e)
  set_tests_properties(${Z_TEST_PREFIX}wine.bench2.stop PROPERTIES FIXTURES_CLEANUP ${z_fixture}-2 TIMEOUT 120 LABELS e2e)
endif()
# Scripts of two minutes and more (on the 2-core build machine) carry the label "long" too.
set(z_long_scripts download_faults update_flow corrupt_matrix agent_cycle agent_long)
foreach(script ${Z_WINE_SCRIPTS})
  get_filename_component(script_name ${script} NAME_WE)
  if(script_name IN_LIST z_long_scripts)
    set(labels "e2e;long")
  else()
    set(labels e2e)
  endif()
  set(test_name ${Z_TEST_PREFIX}wine.script.${script_name})
  if(script_name IN_LIST z_second_bench_scripts AND z_bench2)
    set(bench ${z_bench2})
    set(fixture ${z_fixture}-2)
    set(desktop ${z_desktop}-2)
  else()
    set(bench ${Z_WINE_BENCH_DIR})
    set(fixture ${z_fixture})
    set(desktop ${z_desktop})
  endif()
  add_test(NAME ${test_name}
    COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/wine-bench.sh shell ${bench} bash ${script} ${CMAKE_BINARY_DIR})
  # A script that cannot run its cases here (say, no mount rights) exits 77: skipped, not passed.
  set_tests_properties(${test_name} PROPERTIES
    FIXTURES_REQUIRED ${fixture} RESOURCE_LOCK ${desktop} TIMEOUT 300 SKIP_RETURN_CODE 77 LABELS "${labels}")
endforeach()
# Each successful update ends with the agent's restart, which waits 10 s for the old copy.
set_tests_properties(${Z_TEST_PREFIX}wine.script.update_flow PROPERTIES TIMEOUT 600)
if(TEST ${Z_TEST_PREFIX}wine.script.publish_flow)
  set_tests_properties(${Z_TEST_PREFIX}wine.script.publish_flow PROPERTIES TIMEOUT 600)
endif()
if(Z_WINDOWS_TESTS STREQUAL e2e)
  return()
endif()
# The corrupt-package matrix runs the stub some 30 times (a package of 10,000 files and a
# bomb among them).
set_tests_properties(${Z_TEST_PREFIX}wine.script.corrupt_matrix PROPERTIES TIMEOUT 600)
# The download-fault matrix runs four kinds of download through about thirty server answers
# (about seven minutes on the loaded 2-core build machine).
set_tests_properties(${Z_TEST_PREFIX}wine.script.download_faults PROPERTIES TIMEOUT 900)

# Windows unit tests: one executable, one CTest test per TEST(), run serially because
# window classes, atoms and the debug viewer window are global names.
gtest_add_tests(TARGET wine_tests SOURCES ${Z_WINE_TESTS} TEST_PREFIX "${Z_TEST_PREFIX}wine." TEST_LIST z_wine_test_list)
# A case that does not apply to this flavour says why with GTEST_SKIP: CTest counts it skipped.
set_tests_properties(${z_wine_test_list} PROPERTIES
  FIXTURES_REQUIRED ${z_fixture} RESOURCE_LOCK ${z_desktop} TIMEOUT 120 LABELS wine
  SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")

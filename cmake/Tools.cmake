# The vendor's tools alone (-DZ_TOOLS_ONLY=ON): zpack and zpublish, optimised, without
# sanitizers, tests, Wine or the Windows builds; `cmake --install` puts them into a prefix.
set(Z_SANITIZE "")
find_package(ZLIB REQUIRED)
add_library(zportable STATIC ${Z_PORTABLE_SOURCES} ${Z_NATIVE_ONLY_SOURCES})
target_include_directories(zportable PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(zportable PRIVATE ${Z_WARNINGS})
target_link_libraries(zportable PUBLIC ZLIB::ZLIB)
add_subdirectory(tools/zpack)
add_subdirectory(tools/zpublish)
include(GNUInstallDirs)
install(TARGETS zpack zpublish RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES docs/zpack.md docs/publishing.md docs/package-format.md docs/engines.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

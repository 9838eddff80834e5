# The program's install rule and the Debian package. Build the package from a configured and
# built tree with: cpack --config build/CPackConfig.cmake -B build/package
# (the files themselves are installed by the rules in resources/CMakeLists.txt).
install(TARGETS dirka RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dirka)
set(CPACK_PACKAGE_VENDOR Pelmora)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(CPACK_PACKAGE_CONTACT "Pelmora <dirka@pelmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "create a text list of folders and files")
set(CPACK_PACKAGE_DESCRIPTION
  "Dirka writes a text list of the folders and files below one or more locations, in one of
ten list styles or a style of your own, with per-folder summaries and statistics. The result
can be searched, saved as UTF-8 or UTF-16, or exported as a linked web page or an M3U8
playlist. A desktop program with a command-line mode (dirka --list) for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.pelmora.example/dirka/")
# Library dependencies come from the binary itself (dpkg-shlibdeps, in dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt picks the Wayland platform when it is there; without it the window runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS qt6-wayland)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

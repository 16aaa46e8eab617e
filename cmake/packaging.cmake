# Installation and the Debian package. `cmake --install` puts the program, the simulator, the
# desktop entry, the icon, the README and copyright, zef-cli's manual page and its bash
# completion where a Linux desktop looks for them; `cpack -G DEB`
# packs the same files with the packages they need.

include(GNUInstallDirs)

install(TARGETS zef-service zef-cli zef-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/zef-service.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/zef-service.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/data/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zef-service)
install(FILES ${PROJECT_SOURCE_DIR}/docs/zef-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Where bash-completion loads a command's completion from when it is first typed.
install(FILES ${PROJECT_SOURCE_DIR}/data/zef-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME zef-cli)

set(CPACK_PACKAGE_NAME zef-service)
set(CPACK_PACKAGE_VENDOR "ZEF")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Service tool for the ZEF-K7LX gas injection controller")
set(CPACK_PACKAGE_DESCRIPTION
    "Watch the engine live, read and change the controller's calibration, edit the
injection-time map, save and load calibrations, and number new controllers from the
production log, over a serial cable. Includes zef-cli, the same from a script for the
production line and the workshop, and zef-sim, a simulated controller on a
pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ZEF service tool team <service@zef.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zef.invalid/zef-service")
# The libraries come from the binaries themselves; the rest is what they load at run time:
# the X platform plugin, Qt's Russian texts and the fonts the window is laid out for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation2, libqt6sql6-sqlite, libqt6sql6-psql")
include(CPack)

# The application folder is the install prefix itself: the executable, the
# busy clip beside it and Data/ for the default database, with InitPrg.ini
# written there later. `cmake --install BUILD --prefix DIR` makes DIR one.
#
# What a system package adds outside that folder (the menu entry, the command
# on PATH, the emulator and its service) goes in only when its component is
# asked for by name, as CPack does, never by a plain `cmake --install`.

# Where the package puts the application folder; the desktop entry and the
# command on PATH point there.
set(MOVAN_PACKAGE_APP_DIR /opt/movan)
# The menu icon and the hicolor size folder it belongs in ("scalable" for SVG).
set(MOVAN_DESKTOP_ICON ${PROJECT_SOURCE_DIR}/resources/app/movan-config.svg)
set(MOVAN_DESKTOP_ICON_SIZE scalable)

install(TARGETS movan-config RUNTIME DESTINATION . COMPONENT movan)
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/DataLR.avi DESTINATION . COMPONENT movan)
install(DIRECTORY DESTINATION Data COMPONENT movan)

set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/movan-config.desktop.in ${packaging_out}/movan-config.desktop @ONLY)
file(CREATE_LINK ${MOVAN_PACKAGE_APP_DIR}/movan-config ${packaging_out}/movan-config SYMBOLIC)
get_filename_component(icon_extension ${MOVAN_DESKTOP_ICON} LAST_EXT)
install(FILES ${packaging_out}/movan-config.desktop DESTINATION /usr/share/applications
        COMPONENT movan EXCLUDE_FROM_ALL)
install(FILES ${MOVAN_DESKTOP_ICON} DESTINATION /usr/share/icons/hicolor/${MOVAN_DESKTOP_ICON_SIZE}/apps
        RENAME movan-config${icon_extension} COMPONENT movan EXCLUDE_FROM_ALL)
install(FILES ${packaging_out}/movan-config DESTINATION /usr/bin COMPONENT movan EXCLUDE_FROM_ALL)

install(TARGETS sqlemu RUNTIME DESTINATION /usr/bin COMPONENT sqlemu EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/sqlemu.service DESTINATION /lib/systemd/system
        COMPONENT sqlemu EXCLUDE_FROM_ALL)
install(DIRECTORY DESTINATION /var/lib/sqlemu COMPONENT sqlemu EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/emulator/sqlemu.1 DESTINATION /usr/share/man/man1
        COMPONENT sqlemu EXCLUDE_FROM_ALL)

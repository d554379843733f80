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
# The menu icon: the program's drawn SVG, and the sizes rendered from it that
# the window itself shows, for menus that draw no SVG.
set(MOVAN_DESKTOP_ICON ${PROJECT_SOURCE_DIR}/resources/app/movan-config.svg)
set(MOVAN_DESKTOP_ICON_SIZES 16 24 32 48 64 128)

install(TARGETS movan-config RUNTIME DESTINATION . COMPONENT movan)
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/DataLR.avi DESTINATION . COMPONENT movan)
install(DIRECTORY DESTINATION Data COMPONENT movan)

set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/movan-config.desktop.in ${packaging_out}/movan-config.desktop @ONLY)
file(CREATE_LINK ${MOVAN_PACKAGE_APP_DIR}/movan-config ${packaging_out}/movan-config SYMBOLIC)
install(FILES ${packaging_out}/movan-config.desktop DESTINATION /usr/share/applications
        COMPONENT movan EXCLUDE_FROM_ALL)
install(FILES ${MOVAN_DESKTOP_ICON} DESTINATION /usr/share/icons/hicolor/scalable/apps
        RENAME movan-config.svg COMPONENT movan EXCLUDE_FROM_ALL)
foreach(size IN LISTS MOVAN_DESKTOP_ICON_SIZES)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/app/movan-config-${size}.png
            DESTINATION /usr/share/icons/hicolor/${size}x${size}/apps
            RENAME movan-config.png COMPONENT movan EXCLUDE_FROM_ALL)
endforeach()
install(FILES ${packaging_out}/movan-config DESTINATION /usr/bin COMPONENT movan EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/movan-backup@.service DESTINATION /lib/systemd/system COMPONENT movan EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/movan-backup@.timer DESTINATION /lib/systemd/system COMPONENT movan EXCLUDE_FROM_ALL)

install(TARGETS sqlemu RUNTIME DESTINATION /usr/bin COMPONENT sqlemu EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/sqlemu.service DESTINATION /lib/systemd/system
        COMPONENT sqlemu EXCLUDE_FROM_ALL)
install(DIRECTORY DESTINATION /var/lib/sqlemu COMPONENT sqlemu EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/emulator/sqlemu.1 DESTINATION /usr/share/man/man1
        COMPONENT sqlemu EXCLUDE_FROM_ALL)

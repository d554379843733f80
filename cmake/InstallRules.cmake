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

# systemd units the movan-config package ships from packaging/, installed
# and never enabled; its maintainer scripts record them so that purge removes
# the links an administrator's enable made (template units included).
set(MOVAN_CONFIG_SYSTEMD_UNITS "")
foreach(unit IN LISTS MOVAN_CONFIG_SYSTEMD_UNITS)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/${unit} DESTINATION /lib/systemd/system
            COMPONENT movan EXCLUDE_FROM_ALL)
endforeach()

install(TARGETS sqlemu RUNTIME DESTINATION /usr/bin COMPONENT sqlemu EXCLUDE_FROM_ALL)
# /var/lib/sqlemu is not shipped: the package's postinst makes it for the
# service's account, and the unit's StateDirectory= keeps it that account's.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/sqlemu.service DESTINATION /lib/systemd/system
        COMPONENT sqlemu EXCLUDE_FROM_ALL)

# What Debian asks of each package: manual pages and the changelog
# compressed (gzip -9n, so that the bytes depend on the text alone), the
# copyright file, and lintian's overrides, each with its reason.
set(MOVAN_DEB_CONTACT "Movan <support@movan.invalid>")
set(MOVAN_DEB_RELEASE 1)
set(MOVAN_DEB_VERSION ${PROJECT_VERSION}-${MOVAN_DEB_RELEASE})
function(movan_gzip source target)
    execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${target} COMMAND_ERROR_IS_FATAL ANY)
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${packaging_out}/copyright @ONLY)
set(deb_packages movan-config sqlemu)
set(deb_components movan sqlemu)
set(deb_man_pages packaging/movan-config.1 emulator/sqlemu.1)
foreach(package component man_page IN ZIP_LISTS deb_packages deb_components deb_man_pages)
    set(doc ${packaging_out}/debian/${package})
    set(MOVAN_DEB_PACKAGE ${package})
    configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.Debian.in ${doc}/changelog.Debian @ONLY)
    movan_gzip(${doc}/changelog.Debian ${doc}/changelog.Debian.gz)
    get_filename_component(man_name ${man_page} NAME)
    movan_gzip(${PROJECT_SOURCE_DIR}/${man_page} ${doc}/${man_name}.gz)
    install(FILES ${packaging_out}/copyright ${doc}/changelog.Debian.gz DESTINATION /usr/share/doc/${package}
            COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(FILES ${doc}/${man_name}.gz DESTINATION /usr/share/man/man1 COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/${package}.lintian-overrides DESTINATION /usr/share/lintian/overrides
            RENAME ${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

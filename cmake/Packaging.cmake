# Debian packages, one per component: movan-config (the application folder
# under /opt/movan and its place in the menu) and sqlemu (the emulator as a
# service that is installed but not enabled). `cpack` in a build folder makes
# both; Depends comes from the shared libraries the binaries link.
set(CPACK_GENERATOR DEB)
# Packages are made of what the build has made; making them never starts a
# build of everything (tests and benchmarks included) first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME movan-config)
set(CPACK_PACKAGE_VENDOR Movan)
set(CPACK_PACKAGE_CONTACT "Movan <support@movan.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${MOVAN_PACKAGE_APP_DIR})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL movan sqlemu)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)

set(CPACK_DEBIAN_MOVAN_PACKAGE_NAME movan-config)
set(CPACK_DEBIAN_MOVAN_PACKAGE_SECTION database)
# Qt's own texts (standard buttons, file dialogs) in Persian; added to what
# the linked libraries call for.
set(CPACK_DEBIAN_MOVAN_PACKAGE_DEPENDS qt6-translations-l10n)
# Persian text needs a font with Arabic script; Windows logins need a ticket.
set(CPACK_DEBIAN_MOVAN_PACKAGE_RECOMMENDS fonts-noto-ui-core)
set(CPACK_DEBIAN_MOVAN_PACKAGE_SUGGESTS "krb5-user, sqlemu")
string(CONCAT CPACK_COMPONENT_MOVAN_DESCRIPTION
       "Connection setup and maintenance of the SQL Server database of the Movan applications\n"
       "Edits the connection settings shared by the Movan applications (InitPrg.ini in\n"
       "/opt/movan), tests the connection, attaches the default database, shrinks the\n"
       "log, backs up and restores.")

set(CPACK_DEBIAN_SQLEMU_PACKAGE_NAME sqlemu)
set(CPACK_DEBIAN_SQLEMU_PACKAGE_SECTION database)
string(CONCAT CPACK_COMPONENT_SQLEMU_DESCRIPTION
       "SQL Server emulator for testing and demonstrating SQL Server clients\n"
       "A TDS server on the loopback addresses with a small T-SQL interpreter. The\n"
       "sqlemu service is installed but not enabled; its data is in /var/lib/sqlemu.")

set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/prune_empty_prefix.cmake)
include(CPack)

# Installation layout and the Debian package (cmake --build build --target package).
# Installed, the programs sit in /usr/bin and the component library under the multiarch library
# folder; settings live in /etc/pelvar/liveupdate (made by the package's postinst).
include(GNUInstallDirs)

find_program(DPKG_ARCHITECTURE dpkg-architecture)
if(DPKG_ARCHITECTURE)
    execute_process(COMMAND ${DPKG_ARCHITECTURE} -qDEB_HOST_MULTIARCH
                    OUTPUT_VARIABLE LIVEUPDATE_MULTIARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
if(LIVEUPDATE_MULTIARCH)
    set(LIVEUPDATE_LIBDIR lib/${LIVEUPDATE_MULTIARCH})
else()
    set(LIVEUPDATE_LIBDIR ${CMAKE_INSTALL_LIBDIR})
endif()

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
set(generated ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${generated})

install(TARGETS liveupdate PelvarLU PelvarPU RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Hosts load the component by its soname; the unversioned link is for building against it.
install(TARGETS PelvarLiveUpdate LIBRARY DESTINATION ${LIVEUPDATE_LIBDIR} NAMELINK_SKIP)

install(FILES ${packaging}/pelvar-liveupdate.desktop ${packaging}/pelvar-update-pos.desktop
              ${packaging}/pelvar-update-ho.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/liveupdate.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${packaging}/liveupdate.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME liveupdate)
install(FILES ${packaging}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/liveupdate)

# The changelog in Debian's format, compressed as Debian keeps it (-n: no time stamp inside, so
# the package is the same for the same sources).
configure_file(${packaging}/changelog.in ${generated}/changelog @ONLY)
add_custom_command(OUTPUT ${generated}/changelog.gz
                   COMMAND gzip -9nc ${generated}/changelog > ${generated}/changelog.gz
                   DEPENDS ${generated}/changelog VERBATIM)

# The man page from the built command line's --help.
find_program(HELP2MAN help2man)
if(HELP2MAN)
    add_custom_command(
        OUTPUT ${generated}/liveupdate.1.gz
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${HELP2MAN} --no-info
                --name "download, verify and apply Pelvar 9 patches"
                --include ${packaging}/liveupdate.h2m --output ${generated}/liveupdate.1 $<TARGET_FILE:liveupdate>
        COMMAND gzip -9nf ${generated}/liveupdate.1
        DEPENDS liveupdate ${packaging}/liveupdate.h2m VERBATIM)
    install(FILES ${generated}/liveupdate.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    set(manPage ${generated}/liveupdate.1.gz)
else()
    message(STATUS "help2man not found: the package will have no man page")
endif()
# The two window programs have short hand-written pages.
foreach(page PelvarLU PelvarPU)
    add_custom_command(OUTPUT ${generated}/${page}.1.gz
                       COMMAND gzip -9nc ${packaging}/${page}.1 > ${generated}/${page}.1.gz
                       DEPENDS ${packaging}/${page}.1 VERBATIM)
    list(APPEND manPage ${generated}/${page}.1.gz)
    install(FILES ${generated}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(package_documents ALL DEPENDS ${generated}/changelog.gz ${manPage})
install(FILES ${generated}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/liveupdate)

set_target_properties(PelvarLiveUpdate PROPERTIES VERSION ${PROJECT_VERSION}
                                                  SOVERSION ${PROJECT_VERSION_MAJOR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME liveupdate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Pelvar 9 LiveUpdate: downloads and applies Pelvar 9 patches")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "The update component of Pelvar 9: the downloader window (PelvarLU), the update\n"
       "wizard (PelvarPU), the component library for host programs, and the liveupdate\n"
       "command line for administrators and scheduled runs.")
set(CPACK_PACKAGE_CONTACT "LiveUpdate maintainers <liveupdate@pelvar.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # liveupdate_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run-time plugins that no linker sees: SQLite for the file databases, adduser for postinst,
# and a cron daemon for the schedule's /etc/cron.d entries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, adduser, cron | cron-daemon")
# Server databases go through ODBC: FreeTDS for SQL Server, psqlODBC for PostgreSQL.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-odbc, tdsodbc | odbc-postgresql, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# Our own maintainer scripts (CPack's would call ldconfig, which the trigger does instead).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging}/postinst ${packaging}/postrm
                                       ${packaging}/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON) # debugging symbols stay in the build folder
include(CPack)

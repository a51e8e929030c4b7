# Installation into the standard places of a desktop system, and a Debian package of it
# (`cpack -G DEB` in the build folder; `make package` at the top, which also sets Debian's
# build flags and turns the update check off).
include(GNUInstallDirs)
set(CORVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/corvane-print-spooler)

# Desktop menus want the icon as PNGs in the icon theme: every size of the program's icon,
# converted when building.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(CORVANE_ICON_THEME ${CMAKE_CURRENT_BINARY_DIR}/packaging/icons)
set(CORVANE_ICON_STAMP ${CMAKE_CURRENT_BINARY_DIR}/packaging/icons.stamp)
add_custom_command(OUTPUT ${CORVANE_ICON_STAMP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CORVANE_ICON_THEME}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/ico_to_png.py
            ${CMAKE_CURRENT_SOURCE_DIR}/resources/corvane.ico ${CORVANE_ICON_THEME}
            corvane-print-spooler
    COMMAND ${CMAKE_COMMAND} -E touch ${CORVANE_ICON_STAMP}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ico_to_png.py
            ${CMAKE_CURRENT_SOURCE_DIR}/resources/corvane.ico
    COMMENT "Converting the program icon to PNGs")
add_custom_target(corvane_icon_png ALL DEPENDS ${CORVANE_ICON_STAMP})

configure_file(${CMAKE_CURRENT_LIST_DIR}/corvane-print-spooler.metainfo.xml.in
               ${CMAKE_CURRENT_BINARY_DIR}/packaging/corvane-print-spooler.metainfo.xml @ONLY)

# Debian wants its documentation compressed.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(CORVANE_GZIPPED "")
foreach(pair "release-notes.txt:changelog.gz" "debian/changelog:changelog.Debian.gz"
             "corvane-print-spooler.1:corvane-print-spooler.1.gz")
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 source)
    list(GET pair 1 target)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/packaging/${target})
    # -n: no name or time inside, so the same sources give the same file.
    add_custom_command(OUTPUT ${output}
        COMMAND ${GZIP_EXECUTABLE} -9nc ${CMAKE_CURRENT_LIST_DIR}/${source} > ${output}
        DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${source}
        VERBATIM)
    list(APPEND CORVANE_GZIPPED ${output})
endforeach()
add_custom_target(corvane_docs_gz ALL DEPENDS ${CORVANE_GZIPPED})

install(FILES ${CMAKE_CURRENT_LIST_DIR}/corvane-print-spooler.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${CORVANE_ICON_THEME}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/corvane-print-spooler.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/corvane-print-spooler.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
              ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
              ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION ${CORVANE_DOC_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME corvane-print-spooler)
# To start the program at login: copied to ~/.config/autostart/ or /etc/xdg/autostart/.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/corvane-print-spooler-autostart.desktop
        DESTINATION ${CORVANE_DOC_DIR}/examples RENAME corvane-print-spooler.desktop)

set(CPACK_PACKAGE_NAME corvane-print-spooler)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print-pickup agent for the Corvane printing service")
# CPack turns each line into a description line of its own.
set(CPACK_PACKAGE_DESCRIPTION
"Corvane Print Spooler logs in to the Corvane printing service and prints
the documents the service places for the user's account. A Corvane account
(account ID and password) is needed. The program keeps an SFTP session to
the service's server, copies each document once it has arrived completely,
removes it from the server and prints it through CUPS on the chosen printer.")
set(CPACK_PACKAGE_CONTACT "Corvane <support@corvane.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CORVANE_WEB_BASE_URL}")
# Libraries from dpkg-shlibdeps (dpkg-dev); the print command `lp` is run, not linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "cups-client")
# After CPack's strip: Debian also drops the compiler's .comment and .note sections.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripNotes.cmake)
include(CPack)

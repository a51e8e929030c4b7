# Installation into the standard places of a desktop system, and a Debian package of it
# (`cpack -G DEB` in the build folder; `make package` at the top).
include(GNUInstallDirs)

# Desktop menus want the icon as a PNG in the icon theme: converted from the program's own
# icon when building.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(CORVANE_ICON_PNG ${CMAKE_CURRENT_BINARY_DIR}/packaging/corvane-print-spooler.png)
add_custom_command(OUTPUT ${CORVANE_ICON_PNG}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/ico_to_png.py
            ${CMAKE_CURRENT_SOURCE_DIR}/resources/corvane48.ico ${CORVANE_ICON_PNG}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ico_to_png.py
            ${CMAKE_CURRENT_SOURCE_DIR}/resources/corvane48.ico
    COMMENT "Converting the program icon to PNG")
add_custom_target(corvane_icon_png ALL DEPENDS ${CORVANE_ICON_PNG})

install(FILES ${CMAKE_CURRENT_LIST_DIR}/corvane-print-spooler.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CORVANE_ICON_PNG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)

set(CPACK_PACKAGE_NAME corvane-print-spooler)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Corvane Print Spooler: prints the documents sent to your account")
set(CPACK_PACKAGE_DESCRIPTION "Logs in to the Corvane service with your account ID and \
password, picks up the documents sent to the account over SFTP and prints them on the \
chosen printer.")
set(CPACK_PACKAGE_CONTACT "Corvane <support@corvane.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CORVANE_WEB_BASE_URL}")
# Libraries from dpkg-shlibdeps (dpkg-dev); the print command `lp` is run, not linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "cups-client")
include(CPack)

# The Windows installer (corvane-print-spooler-<version>.msi in the build folder), made with
# wixl from Debian's msitools. Part of the default build when wixl is there.
find_program(WIXL_EXECUTABLE wixl)
if(NOT WIXL_EXECUTABLE)
    message(STATUS "wixl not found: no Windows installer (Debian package wixl)")
    return()
endif()

# wixl takes the packaged files by names relative to the .wxs: everything is staged in one
# folder.
set(msi_stage ${CMAKE_CURRENT_BINARY_DIR}/packaging/msi)
configure_file(${CMAKE_CURRENT_LIST_DIR}/corvane-print-spooler.wxs.in
               ${msi_stage}/corvane-print-spooler.wxs @ONLY)
set(CORVANE_MSI ${CMAKE_CURRENT_BINARY_DIR}/corvane-print-spooler-${PROJECT_VERSION}.msi)
add_custom_command(OUTPUT ${CORVANE_MSI}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:corvane-print-spooler>
            ${CORVANE_RESOURCES} ${msi_stage}
    COMMAND ${WIXL_EXECUTABLE} -a x64 -o ${CORVANE_MSI} corvane-print-spooler.wxs
    WORKING_DIRECTORY ${msi_stage}
    DEPENDS corvane-print-spooler ${msi_stage}/corvane-print-spooler.wxs ${CORVANE_RESOURCES}
    COMMENT "Windows installer ${CORVANE_MSI}")
add_custom_target(msi ALL DEPENDS ${CORVANE_MSI})

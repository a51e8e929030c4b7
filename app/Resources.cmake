# The resources built into the Windows program (icon, version information, manifest),
# compiled by MinGW's windres.
#
# corvane_add_windows_resources(TARGET VERSION)
#     gives program TARGET the resources of release VERSION (major.minor.patch).
enable_language(RC)
set(CORVANE_PROGRAM_ICON ${PROJECT_SOURCE_DIR}/resources/corvane.ico)

function(corvane_add_windows_resources target version)
    string(REPLACE "." "," commas "${version}")
    set(CORVANE_VERSION_COMMAS "${commas},0")
    set(CORVANE_FILE_VERSION "${version}.0")
    set(CORVANE_RESOURCES_DIR ${PROJECT_SOURCE_DIR}/resources)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/generated/${target})
    set(CORVANE_MANIFEST ${dir}/corvane-print-spooler.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/app/corvane-print-spooler.manifest ${CORVANE_MANIFEST}
                   @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/app/corvane-print-spooler.rc.in
                   ${dir}/corvane-print-spooler.rc @ONLY)
    target_sources(${target} PRIVATE ${dir}/corvane-print-spooler.rc)
    # windres reads the icon and the manifest itself: changes to them rebuild the resources.
    set_source_files_properties(${dir}/corvane-print-spooler.rc PROPERTIES OBJECT_DEPENDS
        "${CORVANE_PROGRAM_ICON};${CORVANE_MANIFEST}")
endfunction()

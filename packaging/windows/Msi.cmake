# The Windows installer (corvane-print-spooler-<version>.msi in the build folder), made with
# wixl from Debian's msitools. Part of the default build when wixl is there.
#
# CORVANE_PRINT_PROGRAM and CORVANE_MAPPING_SCRIPT (make windows PRINT_PROGRAM=...
# MAPPING_SCRIPT=...) put the print program and the mapping script into the package as
# sumatraPDF.exe and scripts\mapwebdav.vbs; empty, the package carries neither.
#
# CORVANE_SIGN_CERT and CORVANE_SIGN_KEY (make windows SIGN_CERT=... SIGN_KEY=...) sign the
# program and then the package: Authenticode, SHA-256, with Debian's osslsigncode, and
# timestamped by CORVANE_SIGN_TIMESTAMP_URL (RFC 3161) when one is named. Without them
# both stay unsigned. The signed program is the one in the package's staging folder,
# packaging/msi/corvane-print-spooler.exe.
find_program(WIXL_EXECUTABLE wixl)
find_program(MSIBUILD_EXECUTABLE msibuild)
if(NOT WIXL_EXECUTABLE OR NOT MSIBUILD_EXECUTABLE)
    message(STATUS "wixl or msibuild not found: no Windows installer (Debian packages wixl, msitools)")
    return()
endif()

set(CORVANE_PRINT_PROGRAM "" CACHE FILEPATH "Print program packaged as sumatraPDF.exe (optional)")
set(CORVANE_MAPPING_SCRIPT "" CACHE FILEPATH
    "Mapping script packaged as scripts\\mapwebdav.vbs (optional)")
set(CORVANE_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate, PEM or DER (optional)")
set(CORVANE_SIGN_KEY "" CACHE FILEPATH "Private key of the code-signing certificate")
set(CORVANE_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server for the signatures (optional)")
if(CORVANE_SIGN_CERT OR CORVANE_SIGN_KEY)
    if(NOT EXISTS "${CORVANE_SIGN_CERT}" OR NOT EXISTS "${CORVANE_SIGN_KEY}")
        message(FATAL_ERROR "Signing needs both CORVANE_SIGN_CERT and CORVANE_SIGN_KEY as files")
    endif()
endif()
set(CORVANE_MSI_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/corvane-print-spooler.wxs.in)
set(CORVANE_NOTICES_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/THIRD-PARTY-NOTICES.txt.in)

# The commands that sign `file` in place (Authenticode, SHA-256), appended to `var`.
function(corvane_sign_commands var file cert key timestamp_url)
    find_program(OSSLSIGNCODE_EXECUTABLE osslsigncode REQUIRED)
    set(timestamp "")
    if(timestamp_url)
        set(timestamp -ts ${timestamp_url})
    endif()
    set(${var} ${${var}}
        COMMAND ${OSSLSIGNCODE_EXECUTABLE} sign -certs ${cert} -key ${key} -h sha256
                -n "Corvane Print Spooler" -i ${CORVANE_WEB_BASE_URL} ${timestamp}
                -in ${file} -out ${file}.signed
        COMMAND ${CMAKE_COMMAND} -E rename ${file}.signed ${file}
        PARENT_SCOPE)
endfunction()

# corvane_add_msi(TARGET [ALL] OUTPUT msi PROGRAM exe-target VERSION v
#                 [PRINT_PROGRAM file] [MAPPING_SCRIPT file]
#                 [SIGN_CERT file SIGN_KEY file [TIMESTAMP_URL url]])
#     builds the package `msi` of program `exe-target` as release `v` (target TARGET, part
#     of the default build with ALL), with the program and then the package signed when a
#     certificate is given.
function(corvane_add_msi target)
    cmake_parse_arguments(PARSE_ARGV 1 MSI "ALL"
        "OUTPUT;PROGRAM;VERSION;PRINT_PROGRAM;MAPPING_SCRIPT;SIGN_CERT;SIGN_KEY;TIMESTAMP_URL" "")
    # wixl takes the packaged files by names relative to the .wxs: everything is staged in
    # one folder.
    set(stage ${CMAKE_CURRENT_BINARY_DIR}/packaging/${target})
    set(stage_files $<TARGET_FILE:${MSI_PROGRAM}> ${CORVANE_RESOURCES} ${CORVANE_PROGRAM_ICON})
    set(optional_files "")
    set(optional_refs "")
    if(MSI_PRINT_PROGRAM)
        list(APPEND stage_files ${MSI_PRINT_PROGRAM})
        get_filename_component(source ${MSI_PRINT_PROGRAM} NAME)
        string(APPEND optional_files
            "          <Component Id=\"PrintProgram\" Guid=\"3d1f35a4-8c1c-4f79-9a51-6f0a3e0b2c11\" Win64=\"yes\">\n"
            "            <File Id=\"PrintProgramExe\" Name=\"sumatraPDF.exe\" Source=\"${source}\" KeyPath=\"yes\" />\n"
            "          </Component>\n")
        string(APPEND optional_refs "      <ComponentRef Id=\"PrintProgram\" />\n")
    endif()
    if(MSI_MAPPING_SCRIPT)
        list(APPEND stage_files ${MSI_MAPPING_SCRIPT})
        get_filename_component(source ${MSI_MAPPING_SCRIPT} NAME)
        string(APPEND optional_files
            "          <Directory Id=\"ScriptsFolder\" Name=\"scripts\">\n"
            "            <Component Id=\"MappingScript\" Guid=\"9b6e0f52-27d4-4c0b-8f3e-5d2a7c9e41b8\" Win64=\"yes\">\n"
            "              <File Id=\"MappingScriptVbs\" Name=\"mapwebdav.vbs\" Source=\"${source}\" KeyPath=\"yes\" />\n"
            "            </Component>\n"
            "          </Directory>\n")
        string(APPEND optional_refs "      <ComponentRef Id=\"MappingScript\" />\n")
    endif()
    set(CORVANE_MSI_VERSION ${MSI_VERSION})
    set(CORVANE_MSI_OPTIONAL_FILES "${optional_files}")
    set(CORVANE_MSI_OPTIONAL_REFS "${optional_refs}")
    get_filename_component(output_dir ${MSI_OUTPUT} DIRECTORY)
    configure_file(${CORVANE_MSI_TEMPLATE} ${stage}/corvane-print-spooler.wxs @ONLY)
    set(PROJECT_VERSION ${MSI_VERSION})
    configure_file(${CORVANE_NOTICES_TEMPLATE} ${stage}/THIRD-PARTY-NOTICES.txt @ONLY)

    # The program is signed as staged, before it goes into the package; the package last.
    # The settings are a file of their own, so that other ones make both anew.
    set(program_signing "")
    set(package_signing "")
    set(signing_inputs "")
    if(MSI_SIGN_CERT)
        set(staged_program ${stage}/$<TARGET_FILE_NAME:${MSI_PROGRAM}>)
        corvane_sign_commands(program_signing ${staged_program} ${MSI_SIGN_CERT} ${MSI_SIGN_KEY}
                              "${MSI_TIMESTAMP_URL}")
        corvane_sign_commands(package_signing ${MSI_OUTPUT} ${MSI_SIGN_CERT} ${MSI_SIGN_KEY}
                              "${MSI_TIMESTAMP_URL}")
        set(signing_inputs ${MSI_SIGN_CERT} ${MSI_SIGN_KEY})
    endif()
    file(CONFIGURE OUTPUT ${stage}/signing.txt
         CONTENT "${MSI_SIGN_CERT}\n${MSI_SIGN_KEY}\n${MSI_TIMESTAMP_URL}\n")
    add_custom_command(OUTPUT ${MSI_OUTPUT}
        # Copied anew each time: a signed copy is never signed twice.
        COMMAND ${CMAKE_COMMAND} -E copy ${stage_files} ${stage}
        ${program_signing}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
        COMMAND ${WIXL_EXECUTABLE} -a x64 -o ${MSI_OUTPUT} corvane-print-spooler.wxs
        # The Startup shortcut's component only with AUTOSTART=1 (see the .wxs); and when
        # everything is removed, so that Wine's installer removes it too.
        COMMAND ${MSIBUILD_EXECUTABLE} ${MSI_OUTPUT} -q
                "UPDATE Component SET Condition = 'AUTOSTART = \"1\" OR REMOVE ~= \"ALL\"' WHERE Component = 'Autostart'"
        ${package_signing}
        WORKING_DIRECTORY ${stage}
        DEPENDS ${MSI_PROGRAM} ${stage}/corvane-print-spooler.wxs ${stage}/THIRD-PARTY-NOTICES.txt
                ${stage}/signing.txt ${stage_files} ${signing_inputs}
        COMMENT "Windows installer ${MSI_OUTPUT}"
        VERBATIM)
    if(MSI_ALL)
        add_custom_target(${target} ALL DEPENDS ${MSI_OUTPUT})
    else()
        add_custom_target(${target} DEPENDS ${MSI_OUTPUT})
    endif()
endfunction()

set(CORVANE_MSI ${CMAKE_CURRENT_BINARY_DIR}/corvane-print-spooler-${PROJECT_VERSION}.msi)
corvane_add_msi(msi ALL OUTPUT ${CORVANE_MSI} PROGRAM corvane-print-spooler VERSION ${PROJECT_VERSION}
                PRINT_PROGRAM "${CORVANE_PRINT_PROGRAM}" MAPPING_SCRIPT "${CORVANE_MAPPING_SCRIPT}"
                SIGN_CERT "${CORVANE_SIGN_CERT}" SIGN_KEY "${CORVANE_SIGN_KEY}"
                TIMESTAMP_URL "${CORVANE_SIGN_TIMESTAMP_URL}")

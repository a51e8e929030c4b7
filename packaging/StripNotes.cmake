# Run by CPack on the staged files before it packs them: removes the .comment and .note
# sections from the program, as Debian's own packages do (dh_strip).
find_program(CORVANE_STRIP NAMES strip REQUIRED)
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*"
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/bin/*")
foreach(program IN LISTS programs)
    execute_process(COMMAND ${CORVANE_STRIP} --remove-section=.comment --remove-section=.note
                            ${program}
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()

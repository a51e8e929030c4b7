# The compiled-in constants of a build variant (app/BuildConstants.h) as an object library.
#
# corvane_add_constants(NAME SFTP_HOST h SFTP_PORT p WEB_BASE_URL u)
#     makes the object library NAME from a source generated for those values.
# corvane_use_constants(TARGET NAME)
#     links program TARGET with NAME instead of this build's own constants.
#
# corvane_core leaves the constants undefined and brings this build's corvane_constants
# to every program that links it, unless the program chose another variant: each program
# links exactly one definition, as object files, so nothing depends on link order.
set(CORVANE_CONSTANTS_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../app/BuildConstants.cpp.in)

function(corvane_add_constants name)
    cmake_parse_arguments(PARSE_ARGV 1 CONSTANTS "" "SFTP_HOST;SFTP_PORT;WEB_BASE_URL" "")
    if(NOT CONSTANTS_SFTP_HOST OR NOT CONSTANTS_WEB_BASE_URL)
        message(FATAL_ERROR "corvane_add_constants(${name}): SFTP_HOST and WEB_BASE_URL are required")
    endif()
    set(source ${CMAKE_CURRENT_BINARY_DIR}/generated/${name}.cpp)
    configure_file(${CORVANE_CONSTANTS_TEMPLATE} ${source} @ONLY)
    add_library(${name} OBJECT ${source})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# The default variant for every program linking `library` (corvane_core).
function(corvane_default_constants library name)
    target_link_libraries(${library} INTERFACE
        "$<$<NOT:$<BOOL:$<TARGET_PROPERTY:CORVANE_CONSTANTS>>>:$<TARGET_OBJECTS:${name}>>")
    add_dependencies(${library} ${name})
endfunction()

function(corvane_use_constants target name)
    set_target_properties(${target} PROPERTIES CORVANE_CONSTANTS ${name})
    target_link_libraries(${target} PRIVATE ${name})
endfunction()

# `count` free loopback ports below the kernel's ephemeral range, as a list in `result`:
# for the test builds, whose ports are compiled in when the build is configured.
function(corvane_free_loopback_ports python count result)
    execute_process(
        COMMAND ${python} -c [=[
import random, socket, sys
ports = []
while len(ports) < int(sys.argv[1]):
    port = random.randint(20000, 32000)
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            continue
    if port not in ports:
        ports.append(port)
print(";".join(map(str, ports)), end="")
]=] ${count}
        OUTPUT_VARIABLE ports
        COMMAND_ERROR_IS_FATAL ANY)
    set(${result} ${ports} PARENT_SCOPE)
endfunction()

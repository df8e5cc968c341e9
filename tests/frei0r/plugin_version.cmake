# f0r_get_plugin_info reports the module's major and minor version as `corvelle info` reads them,
# and the plug-in's own when the module cannot load.
# -DHARNESS=<host harness> -DCORVELLE=<command> -DMODULE=<module> -DMISSING=<no module there>
# -DOWN_VERSION=<major.minor of the build>
function(reported module out)
    # Without the module the harness keeps the leak checker's defaults: it loads no plug-in code
    # that needs other settings, and dlerror's thread-local message is no leak.
    set(leak_settings)
    if("${module}" STREQUAL "${MISSING}")
        set(leak_settings --unset=LSAN_OPTIONS)
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env ${leak_settings} CORVELLE_MODULE=${module} ${HARNESS} --plugin-version
                    OUTPUT_VARIABLE version RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "the harness could not read the plug-in's version (${rc})")
    endif()
    string(STRIP "${version}" version)
    string(REPLACE " " "." version "${version}")
    set(${out} "${version}" PARENT_SCOPE)
endfunction()

# The leak checker's settings are the harness's (it loads the plug-in through dlopen); the
# command runs with the defaults its own tests use.
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LSAN_OPTIONS ${CORVELLE} info --json --module ${MODULE}
                OUTPUT_VARIABLE info RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "corvelle info failed (${rc})")
endif()
string(JSON major GET "${info}" version major)
string(JSON minor GET "${info}" version minor)

reported(${MODULE} with_module)
if(NOT with_module STREQUAL "${major}.${minor}")
    message(FATAL_ERROR "the plug-in reports version ${with_module}, the module is ${major}.${minor}")
endif()
reported(${MISSING} without_module)
if(NOT without_module STREQUAL OWN_VERSION)
    message(FATAL_ERROR "without its module the plug-in reports ${without_module}, not ${OWN_VERSION}")
endif()

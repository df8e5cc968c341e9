# Runs every reference render and the keyed reference stream with a given build, so that a build
# by another compiler is held to the same bytes as the one the test run uses.
# cmake -DCORVELLE=<command> -DMODULE=<module> -DWORK=<scratch folder> -P check_refs.cmake
include(${CMAKE_CURRENT_LIST_DIR}/refs.cmake)
file(MAKE_DIRECTORY ${WORK})
set(failed 0)
foreach(entry ${CORVELLE_RENDER_REFS})
    string(FIND "${entry}" "=" eq)
    string(SUBSTRING "${entry}" 0 ${eq} name)
    math(EXPR from "${eq} + 1")
    string(SUBSTRING "${entry}" ${from} -1 args)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -DCORVELLE=${CORVELLE} -DMODULE=${MODULE}
                -DREF=${CMAKE_CURRENT_LIST_DIR}/../ref/render_${name}.raw -DOUT=${WORK}/render_${name}.raw
                "-DARGS=${args}" -P ${CMAKE_CURRENT_LIST_DIR}/compare_raw.cmake
        RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        set(failed 1)
    endif()
endforeach()
execute_process(
    COMMAND ${CMAKE_COMMAND} -DCORVELLE=${CORVELLE} -DMODULE=${MODULE} -DWORK=${WORK}/keyed
            -P ${CMAKE_CURRENT_LIST_DIR}/../keys/keyed_reference.cmake
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR failed)
    message(FATAL_ERROR "${CORVELLE} does not give the reference bytes")
endif()
message(STATUS "${CORVELLE}: every reference render has its bytes")

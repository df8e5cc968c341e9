# Renders the built-in picture as one raw frame and compares it byte for byte with a reference.
# -DCORVELLE=<command> -DMODULE=<module> -DREF=<reference> -DOUT=<scratch file> -DARGS=<a|b|c>
# With the environment variable CORVELLE_UPDATE_REFS=1 the reference is rewritten instead.
string(REPLACE "|" ";" args "${ARGS}")
execute_process(
    COMMAND ${CORVELLE} render --raw 64x36 ${OUT} ${args} --module ${MODULE}
    RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "corvelle render ${args} failed (${rc}): ${err}")
endif()
if("$ENV{CORVELLE_UPDATE_REFS}" STREQUAL "1")
    file(COPY_FILE ${OUT} ${REF})
    message(STATUS "updated ${REF}")
    return()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${REF} RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${OUT} differs from ${REF}: an output bit changed. If the change is meant, "
                        "rerun with CORVELLE_UPDATE_REFS=1 and commit the new reference.")
endif()

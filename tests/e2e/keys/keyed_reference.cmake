# A keyed raw stream of 24 small frames (every key form: ease, hold, linear, seconds, every
# parameter that can vary) compared with the checksum of its reference output, so a compiler or
# flag that changes one interpolated value or one output bit fails.
# -DCORVELLE=<command> -DMODULE=<module> -DWORK=<scratch folder>
set(keys ${CMAKE_CURRENT_LIST_DIR}/reference-keys.json)
set(expected 3e6964c78c5fb6a4d06cd83c951cb740be6fe43d5ece6d9202b0b261c5538136)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# The built-in picture at zero opacity is the picture itself: one frame, repeated.
execute_process(COMMAND ${CORVELLE} render --raw 64x36 ${WORK}/frame.raw --opacity 0 --module ${MODULE}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "rendering the input frame failed (${rc}): ${err}")
endif()
set(frames)
foreach(i RANGE 1 24)
    list(APPEND frames ${WORK}/frame.raw)
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${frames} OUTPUT_FILE ${WORK}/in.raw RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "joining the input frames failed (${rc})")
endif()

execute_process(COMMAND ${CORVELLE} render --raw 64x36 ${WORK}/in.raw ${WORK}/out.raw --keys ${keys}
                        --module ${MODULE}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the keyed render failed (${rc}): ${err}")
endif()
file(SHA256 ${WORK}/out.raw actual)
if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${WORK}/out.raw has checksum ${actual}, not ${expected}: an interpolated value "
                        "or an output bit changed")
endif()

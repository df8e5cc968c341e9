# End-to-end runs of `corvelle render`: tiny raw renders compared byte for byte with references
# (any compiler or flag that changes an output bit fails them), and a video round trip.
include(${CMAKE_CURRENT_SOURCE_DIR}/e2e/render/refs.cmake)
foreach(entry ${CORVELLE_RENDER_REFS})
    string(FIND "${entry}" "=" eq)
    string(SUBSTRING "${entry}" 0 ${eq} name)
    math(EXPR from "${eq} + 1")
    string(SUBSTRING "${entry}" ${from} -1 args)
    add_test(NAME render_ref_${name}
        COMMAND ${CMAKE_COMMAND} -DCORVELLE=$<TARGET_FILE:corvelle> -DMODULE=$<TARGET_FILE:corvelle_module>
                -DREF=${CMAKE_CURRENT_SOURCE_DIR}/e2e/ref/render_${name}.raw
                -DOUT=${CMAKE_CURRENT_BINARY_DIR}/render_ref_${name}.raw "-DARGS=${args}"
                -P ${CMAKE_CURRENT_SOURCE_DIR}/e2e/render/compare_raw.cmake)
endforeach()

add_test(NAME render_ffmpeg_round_trip
    COMMAND ${CMAKE_COMMAND} -DCORVELLE=$<TARGET_FILE:corvelle> -DMODULE=$<TARGET_FILE:corvelle_module>
            -DWORK=${CMAKE_CURRENT_BINARY_DIR}/render_ffmpeg_round_trip
            -P ${CMAKE_CURRENT_SOURCE_DIR}/e2e/render/ffmpeg_roundtrip.cmake)
set_tests_properties(render_ffmpeg_round_trip PROPERTIES SKIP_REGULAR_EXPRESSION "ffmpeg not found")

# End-to-end runs of `corvelle render`: tiny raw renders compared byte for byte with references
# (any compiler or flag that changes an output bit fails them), and a video round trip.
set(CORVELLE_RENDER_REFS
    "ae8_defaults=--width|40|--height|24|--feather|8"
    "ae8_rectangle_gaussian_soft_light=--shape|rectangle|--falloff|gaussian|--blend|soft-light|--color|3366cc|--opacity|80|--width|44|--height|20|--feather|10|--angle|30"
    "ae8_downsample_par=--downsample|1/2|--par|10/11|--origin|20,12|--width|30|--height|16|--feather|6|--blend|difference|--color|ffffff|--opacity|100"
    "ae16_screen_invert=--depth|16|--blend|screen|--color|ff8000|--opacity|60|--invert|--width|40|--height|30|--feather|12|--falloff|quadratic"
    "ae16_transparent=--depth|16|--fill|transparent|--opacity|50|--width|30|--height|20|--feather|6|--falloff|cubic"
    "pr8_luminosity=--host|premiere|--blend|luminosity|--color|80c0ff|--opacity|100|--width|40|--height|24|--feather|10|--falloff|gamma-2.2"
    "prf_color_dodge=--host|premiere|--depth|32|--blend|color-dodge|--color|c08040|--opacity|90|--width|36|--height|36|--feather|14|--angle|-45"
    "prf_mask_only=--host|premiere|--depth|32|--mask-only|--falloff|exponential|--width|50|--height|20|--feather|9|--color|20ff60")
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

# melt with named parameters, one keyframed, on one thread and on several: every frame equal to
# `corvelle render` with that frame's values.
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
make_input()

# Keyframes are separated by ";", CMake's list separator: `keyed` is passed quoted, outside any list.
# melt under a loaded machine was once seen to write an empty file and exit 0; a run whose output
# is not the whole clip is tried once more, and anything it then writes is checked frame by frame.
function(melt name threads keyed)
    math(EXPR want "${FRAMES} * ${W} * ${H} * 4")
    foreach(attempt 1 2)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env FREI0R_PATH=${PLUGIN_DIR} CORVELLE_MODULE=${MODULE}
                    ${MELT} -quiet ${WORK}/in.mkv -filter frei0r.corvelle "${keyed}" ${ARGN}
                    -consumer avformat:${WORK}/${name}.rgba f=rawvideo vcodec=rawvideo pix_fmt=rgba an=1
                    real_time=${threads}
            RESULT_VARIABLE rc ERROR_VARIABLE err)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "melt ${name} failed (${rc}): ${err}")
        endif()
        file(SIZE ${WORK}/${name}.rgba got)
        if(got EQUAL want)
            return()
        endif()
        message(STATUS "melt ${name}: ${got} of ${want} bytes on attempt ${attempt}")
    endforeach()
endfunction()

expect(named "--shape|rectangle|--width|32|--height|16|--angle|45|--feather|6.4|--color|3366cc|--opacity|80|--blend|soft-light|--falloff|gaussian|--invert")
foreach(threads -1 -2)
    melt(named${threads} ${threads} shape=rectangle width=0.5 height=0.5 angle=0.125 feather=0.1
         "color=#3366cc" opacity=0.8 blend=soft-light falloff=gaussian invert=1)
    check_all("melt real_time=${threads}" ${WORK}/named${threads}.rgba ${WORK}/named.expected.rgba)
endforeach()

# MLT interpolates a keyframed double linearly: a + (b - a) * (frame - fa) / (fb - fa), in doubles;
# awk computes in doubles too, and %.17g gives `corvelle render` the same double back.
foreach(threads -1 -2)
    melt(keyed${threads} ${threads} "width=0=0.2;24=0.8" height=0.5 feather=0.05)
endforeach()
math(EXPR last "${FRAMES} - 1")
foreach(frame RANGE ${last})
    execute_process(COMMAND awk -v f=${frame}
                            "BEGIN { a = 0.2; b = 0.8; printf \"%.17g\", (a + (b - a) * (f / 24)) * ${W} }"
                    OUTPUT_VARIABLE pixels)
    expect(keyed_at_${frame} "--width|${pixels}|--height|16|--feather|3.2")
    foreach(threads -1 -2)
        check_frame("melt keyframed real_time=${threads}" ${WORK}/keyed${threads}.rgba
                    ${WORK}/keyed_at_${frame}.expected.rgba ${frame})
    endforeach()
endforeach()

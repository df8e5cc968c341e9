# A keyed raw stream from ffmpeg through `corvelle render --keys` into a lossless video: the video
# decodes to exactly corvelle's own keyed output, whose first frame is frame 0 and whose frames each
# equal a flat render of the values the keys give there.
# -DCORVELLE=<command> -DMODULE=<module> -DWORK=<scratch folder>
find_program(FFMPEG ffmpeg)
find_program(FFPROBE ffprobe)
if(NOT FFMPEG OR NOT FFPROBE)
    message("ffmpeg not found: skipping the keyed stream")
    return()
endif()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(size 64x36)
math(EXPR frame_bytes "64 * 36 * 4")
file(WRITE ${WORK}/keys.json [=[{"version": 1, "fps": 25, "params": {"blend": "screen"},
  "keys": {"width": [{"frame": 0, "value": 10}, {"frame": 4, "value": 50}],
           "opacity": [{"frame": 0, "value": 20}, {"frame": 4, "value": 100}],
           "color": [{"frame": 0, "value": "#000000"}, {"frame": 4, "value": "#ff8800"}]}}]=])
set(common --height 24 --feather 8 --module ${MODULE})

execute_process(
    COMMAND ${FFMPEG} -loglevel error -f lavfi -i testsrc=size=${size}:rate=25 -frames:v 6 -f rawvideo -pix_fmt argb -
    COMMAND ${CORVELLE} render --raw ${size} - - --keys ${WORK}/keys.json ${common}
    COMMAND ${FFMPEG} -loglevel error -y -f rawvideo -pix_fmt argb -s ${size} -i - -c:v ffv1 ${WORK}/out.mkv
    RESULTS_VARIABLE results ERROR_VARIABLE err)
if(NOT results STREQUAL "0;0;0")
    message(FATAL_ERROR "pipeline failed (${results}): ${err}")
endif()
execute_process(
    COMMAND ${FFPROBE} -v error -count_frames -select_streams v:0
            -show_entries stream=width,height,nb_read_frames -of csv=p=0 ${WORK}/out.mkv
    OUTPUT_VARIABLE probe OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT probe STREQUAL "64,36,6")
    message(FATAL_ERROR "the video holds '${probe}', expected width 64, height 36 and 6 frames")
endif()

execute_process(
    COMMAND ${FFMPEG} -loglevel error -f lavfi -i testsrc=size=${size}:rate=25 -frames:v 6 -f rawvideo -pix_fmt argb ${WORK}/in.raw
    RESULT_VARIABLE rc)
execute_process(COMMAND ${CORVELLE} render --raw ${size} ${WORK}/in.raw ${WORK}/keyed.raw --keys ${WORK}/keys.json ${common}
    RESULT_VARIABLE rc2)
execute_process(
    COMMAND ${FFMPEG} -loglevel error -i ${WORK}/out.mkv -f rawvideo -pix_fmt argb ${WORK}/back.raw RESULT_VARIABLE rc3)
if(NOT rc EQUAL 0 OR NOT rc2 EQUAL 0 OR NOT rc3 EQUAL 0)
    message(FATAL_ERROR "making the comparison frames failed (${rc}, ${rc2}, ${rc3})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/back.raw ${WORK}/keyed.raw RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
    message(FATAL_ERROR "the frames decoded from the video differ from corvelle's own keyed output")
endif()

# Frame n of the stream against a flat render of its input frame at the values written out:
# frame 0 at the first keys, frame 3 three quarters of the way (colour 191.75 -> bf, 102.5 -> 66),
# frame 5 after the last key.
foreach(case "0;10;20;000000" "3;40;80;bf6600" "5;50;100;ff8800")
    list(GET case 0 n)
    list(GET case 1 width)
    list(GET case 2 opacity)
    list(GET case 3 color)
    math(EXPR next "${n} + 1")
    math(EXPR offset "${n} * ${frame_bytes}")
    execute_process(
        COMMAND ${FFMPEG} -loglevel error -y -f rawvideo -pix_fmt argb -s ${size} -i ${WORK}/in.raw
                -vf trim=start_frame=${n}:end_frame=${next} -f rawvideo -pix_fmt argb ${WORK}/in${n}.raw
        RESULT_VARIABLE rc)
    execute_process(
        COMMAND ${CORVELLE} render --raw ${size} ${WORK}/in${n}.raw ${WORK}/flat${n}.raw --blend screen
                --width ${width} --opacity ${opacity} --color ${color} ${common}
        RESULT_VARIABLE rc2)
    if(NOT rc EQUAL 0 OR NOT rc2 EQUAL 0)
        message(FATAL_ERROR "frame ${n}: the flat render failed (${rc}, ${rc2})")
    endif()
    file(READ ${WORK}/keyed.raw keyed OFFSET ${offset} LIMIT ${frame_bytes} HEX)
    file(READ ${WORK}/flat${n}.raw flat HEX)
    if(NOT keyed STREQUAL flat)
        message(FATAL_ERROR "frame ${n} of the keyed stream differs from a flat render of its values")
    endif()
endforeach()

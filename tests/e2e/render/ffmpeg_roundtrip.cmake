# Frames from ffmpeg's test source go through `corvelle render --raw WxH - -` into a lossless
# video, which must hold every frame at its size and decode to exactly what corvelle wrote.
# -DCORVELLE=<command> -DMODULE=<module> -DWORK=<scratch folder>
find_program(FFMPEG ffmpeg)
find_program(FFPROBE ffprobe)
if(NOT FFMPEG OR NOT FFPROBE)
    message("ffmpeg not found: skipping the video round trip")
    return()
endif()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(size 64x36)
set(effect --blend screen --color 00ff00 --opacity 80 --width 40 --height 24 --feather 8 --module ${MODULE})

execute_process(
    COMMAND ${FFMPEG} -loglevel error -f lavfi -i testsrc=size=${size}:rate=25 -frames:v 5 -f rawvideo -pix_fmt argb -
    COMMAND ${CORVELLE} render --raw ${size} - - ${effect}
    COMMAND ${FFMPEG} -loglevel error -y -f rawvideo -pix_fmt argb -s ${size} -i - -c:v ffv1 ${WORK}/out.mkv
    RESULTS_VARIABLE results ERROR_VARIABLE err)
if(NOT results STREQUAL "0;0;0")
    message(FATAL_ERROR "pipeline failed (${results}): ${err}")
endif()

execute_process(
    COMMAND ${FFPROBE} -v error -count_frames -select_streams v:0
            -show_entries stream=width,height,nb_read_frames -of csv=p=0 ${WORK}/out.mkv
    OUTPUT_VARIABLE probe OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT probe STREQUAL "64,36,5")
    message(FATAL_ERROR "the video holds '${probe}', expected width 64, height 36 and 5 frames")
endif()

execute_process(
    COMMAND ${FFMPEG} -loglevel error -f lavfi -i testsrc=size=${size}:rate=25 -frames:v 5 -f rawvideo -pix_fmt argb ${WORK}/in.raw
    RESULT_VARIABLE rc)
execute_process(COMMAND ${CORVELLE} render --raw ${size} ${WORK}/in.raw ${WORK}/direct.raw ${effect} RESULT_VARIABLE rc2)
execute_process(
    COMMAND ${FFMPEG} -loglevel error -i ${WORK}/out.mkv -f rawvideo -pix_fmt argb ${WORK}/back.raw RESULT_VARIABLE rc3)
if(NOT rc EQUAL 0 OR NOT rc2 EQUAL 0 OR NOT rc3 EQUAL 0)
    message(FATAL_ERROR "making the comparison frames failed (${rc}, ${rc2}, ${rc3})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/back.raw ${WORK}/direct.raw RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
    message(FATAL_ERROR "the frames decoded from the video differ from corvelle's own output")
endif()

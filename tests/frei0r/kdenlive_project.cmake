# A project file as Kdenlive saves it (MLT XML, keyframes as times) rendered by melt.
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
make_input()
configure_file(${CMAKE_CURRENT_LIST_DIR}/kdenlive-project.mlt.in ${WORK}/project.mlt @ONLY)
run(${CMAKE_COMMAND} -E env FREI0R_PATH=${PLUGIN_DIR} CORVELLE_MODULE=${MODULE}
    ${MELT} -quiet ${WORK}/project.mlt
    -consumer avformat:${WORK}/project.rgba f=rawvideo vcodec=rawvideo pix_fmt=rgba an=1 real_time=-1)

# The width keyframes reach 16, 32 and 48 pixels on frames 0, 1 and 2.
set(common "--shape|rectangle|--height|16|--angle|45|--feather|4|--color|3366cc|--opacity|80|--blend|soft-light|--falloff|gaussian")
foreach(frame 0 1 2)
    math(EXPR pixels "16 + 16 * ${frame}")
    expect(at_${frame} "--width|${pixels}|${common}")
    check_frame("kdenlive project" ${WORK}/project.rgba ${WORK}/at_${frame}.expected.rgba ${frame})
endforeach()

# `cmake --install` of this tree into a prefix of its own, then ffmpeg with the installed plug-in
# and nothing pointing at the module or the library: equal to `corvelle render`.
# -DBUILD_DIR, -DPLUGIN_INSTALL_DIR (relative to the prefix), and what common.cmake needs.
set(PLUGIN_DIR ${WORK}/prefix/${PLUGIN_INSTALL_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
make_input()
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK}/prefix)

expect(installed "--width|32|--height|16|--feather|6.4|--blend|screen")
run(${CMAKE_COMMAND} -E env --unset=CORVELLE_MODULE --unset=LD_LIBRARY_PATH FREI0R_PATH=${PLUGIN_DIR}
    ${FFMPEG} -v error -f rawvideo -pix_fmt rgba -s ${W}x${H} -r 25 -i ${WORK}/in.rgba
    -vf "frei0r=filter_name=corvelle:filter_params=ellipse|0.5|0.5|0.5|0.5|0|0.1|color|black|0.25|screen"
    -f rawvideo -pix_fmt rgba -y ${WORK}/installed.rgba)
check_all("installed plug-in" ${WORK}/installed.rgba ${WORK}/installed.expected.rgba)

# GStreamer's frei0r element with two parameter sets, equal to `corvelle render --raw`.
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
make_input()

set(cases
    "rectangle_screen\;shape=rectangle|origin-x=0.25|origin-y=0.75|width=0.75|height=0.5|angle=0.125|feather=0.0625|color-r=0.2|color-g=0.4|color-b=0.8|opacity=0.8|blend=screen\;--shape|rectangle|--origin|16,24|--width|48|--height|16|--angle|45|--feather|4|--color|3366cc|--opacity|80|--blend|screen"
    "mask_only_inverted\;width=0.5|height=0.25|feather=0.0625|invert=true|mask-only=true|falloff=cubic|color-r=1|fill=color\;--width|32|--height|8|--feather|4|--invert|--mask-only|--falloff|cubic|--color|ff0000")
foreach(case ${cases})
    list(GET case 0 name)
    list(GET case 1 props)
    list(GET case 2 args)
    string(REPLACE "|" ";" props "${props}")
    expect(${name} "${args}")
    run(${CMAKE_COMMAND} -E env GST_REGISTRY=${WORK}/registry.bin FREI0R_PATH=${PLUGIN_DIR}
        CORVELLE_MODULE=${MODULE}
        ${GST_LAUNCH} -q filesrc location=${WORK}/in.rgba
        ! rawvideoparse format=rgba width=${W} height=${H} framerate=25/1
        ! frei0r-filter-corvelle ${props} ! filesink location=${WORK}/${name}.rgba)
    check_all("gst-launch ${name}" ${WORK}/${name}.rgba ${WORK}/${name}.expected.rgba)
endforeach()

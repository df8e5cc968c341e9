# ffmpeg's frei0r filter, parameters by position, equal to `corvelle render --raw` frame for frame.
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)
make_input()

# (32 + 2^-17) / 64, -(3 + 2^-17) / 32, (10 + 2^-17) / 64, (90 + 2^-17) / 360 and (80 + 2^-17) / 100
# are doubles whose products with 64, 32, 64, 360 and 100 are exactly the ties the command line
# reads. A sharp rectangle's edges on whole pixels show which way the origin rounded.
set(TIES_PARAMS "rectangle|0.50000011920928955078125|-0.0937502384185791015625|0.15625011920928955078125|0.5|0.2500000211927626|0|color|0.5/0.5/0.5|0.8000000762939453|normal")
set(TIES "--shape|rectangle|--width|10.00000762939453125|--height|16|--feather|0|--blend|normal")
set(TIES_ARGS "${TIES}|--origin|32.00000762939453125,-3.00000762939453125|--angle|90.00000762939453125|--color|808080|--opacity|80.00000762939453125")

# name, ffmpeg filter_params, the same parameters as `corvelle render` options on a 64x32 frame.
set(cases
    "ellipse_defaults_but_size\;ellipse|0.5|0.5|0.5|0.5|0|0.1\;--width|32|--height|16|--feather|6.4"
    "rectangle_rotated_soft_light\;rectangle|0.25|0.75|0.75|0.5|0.125|0.0625|color|0.2/0.4/0.8|0.8|soft-light|n|n|gaussian\;--shape|rectangle|--origin|16,24|--width|48|--height|16|--angle|45|--feather|4|--color|3366cc|--opacity|80|--blend|soft-light|--falloff|gaussian"
    "beyond_the_frame\;ellipse|1.25|-0.5|1.5|2|-0.25|0|transparent|#ff8000|0.5|screen|y|n|cubic\;--origin|80,-16|--width|96|--height|64|--angle|-90|--feather|0|--fill|transparent|--color|ff8000|--opacity|50|--blend|screen|--invert|--falloff|cubic"
    "clamped_and_mask_only\;rectangle|0.5|0.5|1e9|0.25|0.1|0.03125|color|white|7|difference|n|y|gamma-2.2\;--shape|rectangle|--width|15000|--height|8|--angle|36|--feather|2|--color|ffffff|--opacity|100|--blend|difference|--mask-only|--falloff|gamma-2.2"
    "unknown_names_keep_defaults\;oval|0.5|0.5|0.5|0.5|0|0.1|color|black|0.25|nonsense\;--width|32|--height|16|--feather|6.4"
    # Halfway cases: pixels, degrees and percent exactly between two 16.16 steps, and a colour
    # channel of 0.5, which is 127.5 of 255 (floor(c × 255 + 0.5) makes it 0x80).
    "ties\;${TIES_PARAMS}\;${TIES_ARGS}")

foreach(case ${cases})
    list(GET case 0 name)
    list(GET case 1 params)
    list(GET case 2 args)
    expect(${name} "${args}")
    run(${CMAKE_COMMAND} -E env FREI0R_PATH=${PLUGIN_DIR} CORVELLE_MODULE=${MODULE}
        ${FFMPEG} -v error -f rawvideo -pix_fmt rgba -s ${W}x${H} -r 25 -i ${WORK}/in.rgba
        -vf "frei0r=filter_name=corvelle:filter_params=${params}" -f rawvideo -pix_fmt rgba -y ${WORK}/${name}.rgba)
    check_all("ffmpeg ${name}" ${WORK}/${name}.rgba ${WORK}/${name}.expected.rgba)
endforeach()

# The halfway cases mean something only where rounding them the other way shows.
set(rounded_down
    "origin_down\;${TIES}|--origin|32,-3|--angle|90.00000762939453125|--color|808080|--opacity|80.00000762939453125"
    "colour_down\;${TIES}|--origin|32.00000762939453125,-3.00000762939453125|--angle|90.00000762939453125|--color|7f7f7f|--opacity|80.00000762939453125")
file(READ ${WORK}/ties.expected.rgba tied HEX)
foreach(case ${rounded_down})
    list(GET case 0 name)
    list(GET case 1 args)
    expect(${name} "${args}")
    file(READ ${WORK}/${name}.expected.rgba down HEX)
    if(tied STREQUAL down)
        message(FATAL_ERROR "ties: ${name} renders the same: the halfway case tests nothing there")
    endif()
endforeach()

# A width that is not a multiple of 16 gets rows ffmpeg pads without telling the plug-in; padding
# to one and cropping back is exact.
set(W 56)
math(EXPR FRAME_BYTES "${W} * ${H} * 4")
run(${FFMPEG} -v error -f rawvideo -pix_fmt rgba -s 64x${H} -i ${WORK}/in.rgba -vf crop=${W}:${H}:0:0
    -f rawvideo -pix_fmt rgba -y ${WORK}/narrow.rgba)
run(${CMAKE_COMMAND} -E env FREI0R_PATH=${PLUGIN_DIR} CORVELLE_MODULE=${MODULE}
    ${FFMPEG} -v error -f rawvideo -pix_fmt rgba -s ${W}x${H} -r 25 -i ${WORK}/narrow.rgba
    -vf "pad=64:${H},frei0r=filter_name=corvelle:filter_params=ellipse|0.5|0.5|0.5|0.5|0|0.1,crop=${W}:${H}:0:0"
    -f rawvideo -pix_fmt rgba -y ${WORK}/narrow.out.rgba)
run(${FFMPEG} -v error -f rawvideo -pix_fmt rgba -s ${W}x${H} -i ${WORK}/narrow.rgba -vf pad=64:${H}
    -f rawvideo -pix_fmt argb -y ${WORK}/padded.argb)
run(${CORVELLE} render --raw 64x${H} ${WORK}/padded.argb ${WORK}/padded.expected.argb
    --width 32 --height 16 --feather 6.4 --module ${MODULE})
run(${FFMPEG} -v error -f rawvideo -pix_fmt argb -s 64x${H} -i ${WORK}/padded.expected.argb
    -vf crop=${W}:${H}:0:0 -f rawvideo -pix_fmt rgba -y ${WORK}/narrow.expected.rgba)
set(input_backup ${WORK}/in.rgba)
file(RENAME ${WORK}/in.rgba ${WORK}/wide.rgba)
file(COPY_FILE ${WORK}/narrow.rgba ${WORK}/in.rgba)
check_all("ffmpeg pad then crop" ${WORK}/narrow.out.rgba ${WORK}/narrow.expected.rgba)

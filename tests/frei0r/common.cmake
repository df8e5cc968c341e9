# Shared steps of the real-host tests: a small RGBA clip with varying alpha, the frames
# `corvelle render --raw` makes of it, and frame-by-frame comparisons.
# The caller sets CORVELLE (the command), MODULE, PLUGIN_DIR, WORK and FFMPEG, NEEDS (the host
# program) and REQUIRE (a missing host fails instead of skipping).

foreach(program FFMPEG NEEDS)
    if(NOT EXISTS "${${program}}")
        if(REQUIRE)
            message(FATAL_ERROR "frei0r host missing: ${program} not installed (scripts/install-deps.sh)")
        endif()
        message(STATUS "frei0r host test skipped: ${program} not installed (scripts/install-deps.sh)")
        return()
    endif()
endforeach()

set(W 64)
set(H 32)
set(FRAMES 3)
math(EXPR FRAME_BYTES "${W} * ${H} * 4")

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_VARIABLE out)
    if(NOT rc EQUAL 0)
        string(REPLACE ";" " " shown "${ARGN}")
        message(FATAL_ERROR "failed (${rc}): ${shown}\n${out}${err}")
    endif()
endfunction()

# ${WORK}/in.rgba, ${WORK}/in.argb and ${WORK}/in.mkv: colour bars with an alpha ramp.
function(make_input)
    file(REMOVE_RECURSE ${WORK})
    file(MAKE_DIRECTORY ${WORK})
    run(${FFMPEG} -v error -f lavfi
        -i "testsrc2=s=${W}x${H}:r=25,trim=end_frame=${FRAMES},format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='mod(X*7+Y*13,256)'"
        -f rawvideo -pix_fmt rgba -y ${WORK}/in.rgba)
    run(${FFMPEG} -v error -f rawvideo -pix_fmt rgba -s ${W}x${H} -i ${WORK}/in.rgba
        -f rawvideo -pix_fmt argb -y ${WORK}/in.argb)
    run(${FFMPEG} -v error -f rawvideo -pix_fmt rgba -s ${W}x${H} -r 25 -i ${WORK}/in.rgba
        -c:v rawvideo -pix_fmt rgba -y ${WORK}/in.mkv)
endfunction()

# ${WORK}/<name>.expected.rgba: every input frame through `corvelle render` with `args`.
function(expect name args)
    string(REPLACE "|" ";" args "${args}")
    run(${CORVELLE} render --raw ${W}x${H} ${WORK}/in.argb ${WORK}/${name}.expected.argb ${args}
        --module ${MODULE})
    run(${FFMPEG} -v error -f rawvideo -pix_fmt argb -s ${W}x${H} -i ${WORK}/${name}.expected.argb
        -f rawvideo -pix_fmt rgba -y ${WORK}/${name}.expected.rgba)
endfunction()

function(frame_hex file index out)
    math(EXPR offset "${index} * ${FRAME_BYTES}")
    file(READ ${file} hex OFFSET ${offset} LIMIT ${FRAME_BYTES} HEX)
    set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# Frame `index` of `actual` equals frame `index` of `expected`, and the effect changed it.
function(check_frame what actual expected index)
    frame_hex(${actual} ${index} got)
    frame_hex(${expected} ${index} want)
    frame_hex(${WORK}/in.rgba ${index} input)
    string(LENGTH "${got}" length)
    math(EXPR wanted "${FRAME_BYTES} * 2")
    if(NOT length EQUAL wanted)
        message(FATAL_ERROR "${what}: frame ${index} missing from ${actual}")
    endif()
    if(got STREQUAL input)
        message(FATAL_ERROR "${what}: frame ${index} passed through: the plug-in did not run")
    endif()
    if(NOT got STREQUAL want)
        message(FATAL_ERROR "${what}: frame ${index} differs from corvelle render")
    endif()
endfunction()

function(check_all what actual expected)
    file(SIZE ${actual} size)
    math(EXPR wanted "${FRAME_BYTES} * ${FRAMES}")
    if(NOT size EQUAL wanted)
        message(FATAL_ERROR "${what}: ${size} bytes, expected ${wanted}")
    endif()
    math(EXPR last "${FRAMES} - 1")
    foreach(i RANGE ${last})
        check_frame("${what}" ${actual} ${expected} ${i})
    endforeach()
endfunction()

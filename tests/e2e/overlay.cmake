# End-to-end runs of `corvelle overlay` and `corvelle drag`. Included by the tests' CMakeLists
# it adds the tests; run with -P it is the check one test makes.
if(CMAKE_SCRIPT_MODE_FILE)
    string(REPLACE "|" ";" args "${ARGS}")
    list(APPEND args --module "${MODULE}")
    if(DEFINED OUT)
        file(REMOVE "${OUT}")
    endif()
    execute_process(COMMAND "${CORVELLE}" ${args}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(DEFINED EXPECT_ERROR)
        if(rc EQUAL 0)
            message(FATAL_ERROR "expected a failure, got success:\n${out}")
        endif()
        if(NOT err MATCHES "^corvelle: ${EXPECT_ERROR}")
            message(FATAL_ERROR "expected 'corvelle: ${EXPECT_ERROR}...', got:\n${err}")
        endif()
        if(DEFINED OUT AND EXISTS "${OUT}")
            message(FATAL_ERROR "a failed run left ${OUT} behind")
        endif()
        return()
    endif()
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "corvelle failed (${rc}):\n${err}")
    endif()
    if(DEFINED PNG_SIZE)
        # Width and height are the big-endian words at bytes 16 to 23 of a PNG's header chunk.
        file(READ "${OUT}" header LIMIT 24 HEX)
        if(NOT header MATCHES "^89504e470d0a1a0a")
            message(FATAL_ERROR "${OUT} is not a PNG")
        endif()
        string(SUBSTRING "${header}" 32 8 w)
        string(SUBSTRING "${header}" 40 8 h)
        math(EXPR w "0x${w}")
        math(EXPR h "0x${h}")
        if(NOT "${w}x${h}" STREQUAL "${PNG_SIZE}")
            message(FATAL_ERROR "${OUT} is ${w}x${h}, expected ${PNG_SIZE}")
        endif()
    endif()
    if(DEFINED TRACE_HAS)
        file(READ "${TRACE}" trace)
        string(REPLACE "|" ";" functions "${TRACE_HAS}")
        foreach(function IN LISTS functions)
            if(NOT trace MATCHES "\"function\":\"${function}\"")
                message(FATAL_ERROR "the trace records no ${function} call")
            endif()
        endforeach()
    endif()
    # JSON_CHECKS: "path.to.field=value" items; numbers match with or without a ".0" tail and
    # arrays are compared without blanks and quotes.
    string(REPLACE "|" ";" checks "${JSON_CHECKS}")
    foreach(check IN LISTS checks)
        string(REGEX MATCH "^([^=]+)=(.*)$" unused "${check}")
        set(value "${CMAKE_MATCH_2}")
        string(REPLACE "." ";" path "${CMAKE_MATCH_1}")
        string(JSON got ERROR_VARIABLE json_error GET "${out}" ${path})
        if(json_error)
            message(FATAL_ERROR "${CMAKE_MATCH_1}: ${json_error}\nin ${out}")
        endif()
        string(REGEX REPLACE "[ \n\"]" "" got "${got}")
        string(REGEX REPLACE "^(-?[0-9]+)\\.0+$" "\\1" got "${got}")
        if(NOT got STREQUAL value)
            message(FATAL_ERROR "${check}: got ${got}\nin ${out}")
        endif()
    endforeach()
    return()
endif()

set(CORVELLE_E2E_OUT ${CMAKE_CURRENT_BINARY_DIR}/e2e_out)
file(MAKE_DIRECTORY ${CORVELLE_E2E_OUT})

function(corvelle_controls_test name)
    cmake_parse_arguments(T "" "" "DEFINES" ${ARGN})
    set(defines "")
    foreach(d IN LISTS T_DEFINES)
        list(APPEND defines "-D${d}")
    endforeach()
    add_test(NAME e2e_${name}
        COMMAND ${CMAKE_COMMAND} -DCORVELLE=$<TARGET_FILE:corvelle>
                -DMODULE=$<TARGET_FILE:corvelle_module> ${defines}
                -P ${CMAKE_CURRENT_LIST_FILE})
endfunction()

# The whole layer in a layer window at zoom 1, under each host's look.
corvelle_controls_test(overlay_ae DEFINES
    "OUT=${CORVELLE_E2E_OUT}/overlay_ae.png" "PNG_SIZE=1920x1080"
    "TRACE=${CORVELLE_E2E_OUT}/overlay_ae.jsonl" "TRACE_HAS=PF_StrokePath|AddArc|ReleaseObject"
    "ARGS=overlay|${CORVELLE_E2E_OUT}/overlay_ae.png|--host|ae|--trace|${CORVELLE_E2E_OUT}/overlay_ae.jsonl")
corvelle_controls_test(overlay_premiere DEFINES
    "OUT=${CORVELLE_E2E_OUT}/overlay_premiere.png" "PNG_SIZE=1920x1080"
    "ARGS=overlay|${CORVELLE_E2E_OUT}/overlay_premiere.png|--host|premiere")
# A composition window: (1920 + 100) x (1080 + 50) at half size.
corvelle_controls_test(overlay_comp_window DEFINES
    "OUT=${CORVELLE_E2E_OUT}/overlay_comp.png" "PNG_SIZE=1010x565"
    "TRACE=${CORVELLE_E2E_OUT}/overlay_comp.jsonl" "TRACE_HAS=layer_to_comp|source_to_frame"
    "ARGS=overlay|${CORVELLE_E2E_OUT}/overlay_comp.png|--window|comp|--layer-pos|100,50|--zoom|0.5|--trace|${CORVELLE_E2E_OUT}/overlay_comp.jsonl")
corvelle_controls_test(overlay_refuses_other_formats DEFINES
    "OUT=${CORVELLE_E2E_OUT}/overlay.jpg" "EXPECT_ERROR=writing .*must end in .png"
    "ARGS=overlay|${CORVELLE_E2E_OUT}/overlay.jpg")
corvelle_controls_test(overlay_missing_input DEFINES
    "OUT=${CORVELLE_E2E_OUT}/overlay_missing.png" "EXPECT_ERROR=reading "
    "ARGS=overlay|${CORVELLE_E2E_OUT}/no-such-picture.png|${CORVELLE_E2E_OUT}/overlay_missing.png")
corvelle_controls_test(overlay_bad_zoom DEFINES
    "OUT=${CORVELLE_E2E_OUT}/overlay_zoom.png" "EXPECT_ERROR=--zoom: "
    "ARGS=overlay|${CORVELLE_E2E_OUT}/overlay_zoom.png|--zoom|0")

# Default shape: centre (960, 540), 300 x 200, so the bottom-right corner is at (1110, 640);
# released 200 right of and 150 below the centre it makes the shape 400 x 300.
corvelle_controls_test(drag_bottom_right_corner DEFINES
    "JSON_CHECKS=grabbed=4|params.width=400|params.height=300|params.angle=0|changed=[width,height]"
    "ARGS=drag|--press|1110,640|--move|1130,660|--release|1160,690")
# Zoomed in twice, the same corner sits at window (2220, 1280) and the release at (2320, 1380).
corvelle_controls_test(drag_corner_zoomed DEFINES
    "JSON_CHECKS=grabbed=4|params.width=400|params.height=300"
    "ARGS=drag|--press|2220,1280|--release|2320,1380|--zoom|2")
# Released far past the window, the corner drag stops at the largest width and height there are.
corvelle_controls_test(drag_past_the_corner DEFINES
    "JSON_CHECKS=grabbed=4|params.width=15000|params.height=15000|changed=[width,height]"
    "ARGS=drag|--press|1110,640|--release|100000,100000")
corvelle_controls_test(drag_miss DEFINES
    "JSON_CHECKS=grabbed=0|params.width=300|changed=[]"
    "ARGS=drag|--press|10,10|--move|500,500|--release|600,600")
corvelle_controls_test(drag_with_overlay DEFINES
    "OUT=${CORVELLE_E2E_OUT}/drag_overlay.png" "PNG_SIZE=1920x1080" "JSON_CHECKS=grabbed=4"
    "ARGS=drag|--press|1110,640|--release|1160,690|--overlay|${CORVELLE_E2E_OUT}/drag_overlay.png")
corvelle_controls_test(drag_bad_point DEFINES
    "EXPECT_ERROR=--press: " "ARGS=drag|--press|1110")

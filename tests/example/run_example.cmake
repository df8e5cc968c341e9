# Installs the build into a fresh prefix, builds examples/render_png against it with
# find_package(Corvelle), runs it, and requires its PNG to equal `corvelle render` byte for byte.
# Arguments: BUILD_DIR, SOURCE_DIR, WORK_DIR, COMMAND (the built corvelle).
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
    endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/render_png -B ${WORK_DIR}/example -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/example)

# The built-in picture, unchanged at opacity 0, is the input.
run(${COMMAND} render --opacity 0 ${WORK_DIR}/input.png)
run(${WORK_DIR}/example/render_png ${WORK_DIR}/input.png ${WORK_DIR}/example.png)
run(${COMMAND} render ${WORK_DIR}/input.png ${WORK_DIR}/command.png
    --width 640 --blend screen --color ff8800)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/example.png ${WORK_DIR}/command.png
    RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
    message(FATAL_ERROR "the example's picture differs from corvelle render's")
endif()
# The installed library is the one in the prefix, not the build tree.
file(GLOB installed ${prefix}/lib*/libcorvelle.so.1 ${prefix}/lib*/*/libcorvelle.so.1)
if(NOT installed)
    message(FATAL_ERROR "libcorvelle.so.1 was not installed under ${prefix}")
endif()

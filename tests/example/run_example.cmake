# Installs the build into a fresh prefix, builds examples/render_png against it with
# find_package(Corvelle) and again with pkg-config alone, runs both, and requires their PNGs to equal
# `corvelle render` byte for byte.
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
# pkg-config finds the moved prefix by itself: its files name no configure-time folder.
file(GLOB pc_dirs ${prefix}/lib*/pkgconfig ${prefix}/lib*/*/pkgconfig)
if(NOT pc_dirs)
    message(FATAL_ERROR "no pkgconfig folder was installed under ${prefix}")
endif()
set(ENV{PKG_CONFIG_PATH} "${pc_dirs}")
function(pkg_config out)
    execute_process(COMMAND pkg-config ${ARGN} corvelle corvelle-io RESULT_VARIABLE status
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "pkg-config ${ARGN} failed (${status})")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    set(${out} ${flags} PARENT_SCOPE)
endfunction()
pkg_config(cflags --cflags)
pkg_config(libs --libs)
pkg_config(libdir --variable=libdir)
list(GET libdir 0 libdir)   # one answer per package, the same folder
string(FIND "${cflags}" "-I${prefix}/" at)
if(NOT at EQUAL 0)
    message(FATAL_ERROR "pkg-config --cflags gives ${cflags}, outside the prefix ${prefix}")
endif()
run(c++ -std=c++17 ${SOURCE_DIR}/examples/render_png/main.cpp ${cflags} ${libs}
    -Wl,-rpath,${libdir} -o ${WORK_DIR}/render_png_pc)
run(${WORK_DIR}/render_png_pc ${WORK_DIR}/input.png ${WORK_DIR}/example_pc.png)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/example_pc.png ${WORK_DIR}/command.png
    RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
    message(FATAL_ERROR "the pkg-config build's picture differs from corvelle render's")
endif()

# The installed library is the one in the prefix, not the build tree.
file(GLOB installed ${prefix}/lib*/libcorvelle.so.1 ${prefix}/lib*/*/libcorvelle.so.1)
if(NOT installed)
    message(FATAL_ERROR "libcorvelle.so.1 was not installed under ${prefix}")
endif()

# The command loads the image library only for picture files: raw streams and quick commands
# start without it, and a missing picture library fails picture runs alone, with one line.
# Sanitizer builds link the image library into the command (see cli/CMakeLists.txt).
if(CORVELLE_SANITIZE)
    return()
endif()
set(CORVELLE_RAW_RENDER "head -c 256 /dev/zero | env $VARS \"$1\" render --raw 8x8 - - --module \"$2\"")

add_test(NAME picture_library_not_loaded_for_raw
    COMMAND sh -c "VARS=LD_DEBUG=files; ${CORVELLE_RAW_RENDER} 2>&1 >/dev/null | grep -c OpenImageIO"
            sh $<TARGET_FILE:corvelle> $<TARGET_FILE:corvelle_module>)
set_tests_properties(picture_library_not_loaded_for_raw PROPERTIES PASS_REGULAR_EXPRESSION "^0\n$")

add_test(NAME picture_library_missing_leaves_raw_alone
    COMMAND sh -c "${CORVELLE_RAW_RENDER} | wc -c" sh $<TARGET_FILE:corvelle> $<TARGET_FILE:corvelle_module>)
set_tests_properties(picture_library_missing_leaves_raw_alone PROPERTIES
    ENVIRONMENT "CORVELLE_PICTURE_LIBRARY=/nonexistent/corvelle-pictures.so"
    PASS_REGULAR_EXPRESSION "^ *256\n$")

add_test(NAME picture_library_missing_fails_pictures
    COMMAND sh -c "cd \"$3\" && \"$1\" render picture-library-missing.png --module \"$2\"; echo \"exit status $?\"; ls picture-library-missing.png 2>/dev/null"
            sh $<TARGET_FILE:corvelle> $<TARGET_FILE:corvelle_module> ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(picture_library_missing_fails_pictures PROPERTIES
    ENVIRONMENT "CORVELLE_PICTURE_LIBRARY=/nonexistent/corvelle-pictures.so"
    PASS_REGULAR_EXPRESSION "^corvelle: cannot load the picture library /nonexistent/corvelle-pictures.so: [^\n]*\nexit status 1\n$")

# End-to-end runs of keyframed renders.
add_test(NAME keys_ffmpeg_stream
    COMMAND ${CMAKE_COMMAND} -DCORVELLE=$<TARGET_FILE:corvelle> -DMODULE=$<TARGET_FILE:corvelle_module>
            -DWORK=${CMAKE_CURRENT_BINARY_DIR}/keys_ffmpeg_stream
            -P ${CMAKE_CURRENT_SOURCE_DIR}/e2e/keys/ffmpeg_keyed_stream.cmake)
set_tests_properties(keys_ffmpeg_stream PROPERTIES SKIP_REGULAR_EXPRESSION "ffmpeg not found")

add_test(NAME keys_reference_stream
    COMMAND ${CMAKE_COMMAND} -DCORVELLE=$<TARGET_FILE:corvelle> -DMODULE=$<TARGET_FILE:corvelle_module>
            -DWORK=${CMAKE_CURRENT_BINARY_DIR}/keys_reference_stream
            -P ${CMAKE_CURRENT_SOURCE_DIR}/e2e/keys/keyed_reference.cmake)

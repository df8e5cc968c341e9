# `corvelle info` on the built module, under both hosts, and on a module that is not there.
set(CORVELLE_INFO $<TARGET_FILE:corvelle> info --module $<TARGET_FILE:corvelle_module>)

foreach(host ae premiere)
    add_test(NAME info_${host} COMMAND ${CORVELLE_INFO} --host ${host})
    set_tests_properties(info_${host} PROPERTIES
        PASS_REGULAR_EXPRESSION "^Corvelle v1\\.3\n.*version 1\\.3\\.0 develop build 1 \\(0x98001\\)")
endforeach()

add_test(NAME info_premiere_pixel_formats COMMAND ${CORVELLE_INFO} --host premiere)
set_tests_properties(info_premiere_pixel_formats PROPERTIES
    PASS_REGULAR_EXPRESSION "pixel formats: BGRA_4444_32f \\(0x61724742\\) BGRA_4444_8u \\(0x61726762\\)")

add_test(NAME info_mask_only COMMAND ${CORVELLE_INFO} --mask-only)
set_tests_properties(info_mask_only PROPERTIES
    PASS_REGULAR_EXPRESSION "\"Opacity \\(100%\\)\" +fixed slider id 5  \\[greyed out\\].*\"Blending mode \\(disabled\\)\" +popup +id 7  flags CANNOT_TIME_VARY  \\[greyed out\\]")

add_test(NAME info_json COMMAND ${CORVELLE_INFO} --json --host premiere)
set_tests_properties(info_json PROPERTIES
    PASS_REGULAR_EXPRESSION "\"about\": \"Corvelle v1\\.3\\\\r")

# Exit status 1 and the message, both: the shell reports the status after the output.
add_test(NAME info_missing_module
    COMMAND sh -c "\"$1\" info --module /nonexistent/Corvelle.so; echo \"exit status $?\"" sh $<TARGET_FILE:corvelle>)
set_tests_properties(info_missing_module PROPERTIES
    PASS_REGULAR_EXPRESSION "corvelle: cannot load module /nonexistent/Corvelle.so: .*exit status 1\n$")

add_test(NAME info_unloadable_module
    COMMAND sh -c "\"$1\" info --module \"$2\"; echo \"exit status $?\"" sh $<TARGET_FILE:corvelle> $<TARGET_FILE:corvelle_hostlib>)
set_tests_properties(info_unloadable_module PROPERTIES
    PASS_REGULAR_EXPRESSION "corvelle: cannot load module .*exit status 1\n$")

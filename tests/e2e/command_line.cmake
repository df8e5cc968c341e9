# The built command refusing a wrong command line: one line in its own style, exit status 2.
foreach(case
        "unknown_option|render --sparkle out.png|corvelle: render: unknown option --sparkle "
        "missing_value|render out.png --opacity|corvelle: --opacity: needs a value")
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 name)
    list(GET parts 1 args)
    list(GET parts 2 expected)
    add_test(NAME command_line_${name}
        COMMAND sh -c "\"$1\" ${args}; echo \"exit status $?\"" sh $<TARGET_FILE:corvelle>)
    set_tests_properties(command_line_${name} PROPERTIES
        PASS_REGULAR_EXPRESSION "^${expected}[^\n]*\nexit status 2\n$")
endforeach()

# A choice number outside the choices is a command-line mistake, not a value for the module.
foreach(case "blend_past_the_last|--blend 99" "shape_zero|--shape 0" "falloff_past_the_last|--falloff 99")
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 name)
    list(GET parts 1 args)
    add_test(NAME command_line_choice_${name}
        COMMAND sh -c "\"$1\" render ${args} out.png 2>/dev/null; echo \"exit status $?\"" sh
                $<TARGET_FILE:corvelle>)
    set_tests_properties(command_line_choice_${name} PROPERTIES PASS_REGULAR_EXPRESSION "^exit status 2\n$")
endforeach()

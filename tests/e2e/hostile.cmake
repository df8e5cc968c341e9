# Hostile inputs, outputs, command lines and signals against the built command, grouped by kind
# in the test names (hostile_outputs_*, hostile_inputs_*, hostile_commands_*, hostile_signals_*).
add_executable(corvelle_hostile_helper ${CMAKE_CURRENT_LIST_DIR}/hostile/hostile_helper.cpp)
set(hostile_cases
    outputs_full_disk outputs_fifo outputs_symlink outputs_modes outputs_same_file outputs_empty_input
    outputs_long_name inputs_special inputs_corrupt commands_stdout_full signals_render)
# Peak memory means something only without the sanitizers' shadow memory.
if(NOT CORVELLE_SANITIZE)
    list(APPEND hostile_cases inputs_peak_memory inputs_long_stream)
endif()
foreach(case ${hostile_cases})
    add_test(NAME hostile_${case}
        COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/hostile/cases.sh ${case} $<TARGET_FILE:corvelle>
                $<TARGET_FILE:corvelle_module> $<TARGET_FILE:corvelle_hostile_helper>)
    set_tests_properties(hostile_${case} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS hostile)
endforeach()

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
    if(CORVELLE_SANITIZE)
        # Corrupt pictures reach a leak inside the image library; matching it needs whole stacks
        # (the standard library has no frame pointers), which cost too much for every test.
        set_tests_properties(hostile_${case} PROPERTIES ENVIRONMENT
            "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/sanitizer/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0")
    endif()
endforeach()

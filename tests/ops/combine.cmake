# Tests of operations 4 and 5: the matrix routines and the input file of the
# combination, and both operations run end to end by the pektor program.
pektor_add_test(test_combine combine_numeric_test.cpp combine_input_test.cpp LIBS pektor_ops)

pektor_add_test(test_combine_program combine_program_test.cpp vector_program_test.cpp
                LIBS pektor_dynwriter)
target_compile_definitions(test_combine_program PRIVATE PEKTOR_BIN="$<TARGET_FILE:pektor>")
add_dependencies(test_combine_program pektor)

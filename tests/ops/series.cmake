# Tests of the extraction, the peak and the statistics (operations 1 to 3).

# Statistics kernels, the statistics block and the DynRes labels.
pektor_add_test(test_series_units series_units_test.cpp LIBS pektor_ops)

# Gathering and extraction of the series of every fixture, and the window.
pektor_add_test(test_series_extract series_extract_test.cpp LIBS pektor_ops)

# The built program on the fixtures and on damaged dyn files, with answers on
# its standard input.
pektor_add_test(test_series_program series_program_test.cpp LIBS pektor_ops)
target_compile_definitions(test_series_program PRIVATE PEKTOR_BIN="$<TARGET_FILE:pektor>")
add_dependencies(test_series_program pektor)

# The built program on dyn files from the writer of tools/ and from dyngen.
pektor_add_test(test_series_writer series_writer_test.cpp LIBS pektor_dynwriter)
target_compile_definitions(test_series_writer PRIVATE PEKTOR_BIN="$<TARGET_FILE:pektor>"
                                                      DYNGEN_BIN="$<TARGET_FILE:dyngen>")
add_dependencies(test_series_writer pektor dyngen)


# The fast path of the extraction against the per-step path, end to end.
pektor_add_test(test_engine_program engine_program_test.cpp)
target_compile_definitions(test_engine_program PRIVATE PEKTOR_BIN="$<TARGET_FILE:pektor>"
                                                       DYNGEN_BIN="$<TARGET_FILE:dyngen>")
add_dependencies(test_engine_program pektor dyngen)

# The engine inside one operation call: its state against the per-step loop.
pektor_add_test(test_engine engine_test.cpp LIBS pektor_ops)

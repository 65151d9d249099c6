# Tests of the extraction, the peak and the statistics (operations 1 to 3).

# Statistics kernels, the statistics block and the DynRes labels.
pektor_add_test(test_series_units series_units_test.cpp LIBS pektor_ops)

# Gathering and extraction of the series of every fixture, the window, and
# damaged dyn files.
pektor_add_test(test_series_extract series_extract_test.cpp LIBS pektor_ops)

# Rainflow counting, damage-equivalent loads and the cycle table.
pektor_add_test(test_rainflow rainflow_test.cpp LIBS pektor_rainflow)

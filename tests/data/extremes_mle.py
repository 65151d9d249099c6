#!/usr/bin/python3
# Reference values of the maximum-likelihood Gumbel fit for
# tests/analysis/extremes_test.cpp: scipy.stats.gumbel_r.fit of each set
# (scipy 1.10.1, numpy 1.24.2, Debian's python3-scipy). Prints the rows of
# the test's table: {values}, loc, scale.
from scipy import stats

sets = [
    [1012.5, 968.25, 1043.0, 990.75, 1101.5, 955.0, 1007.25, 979.5, 1060.0, 1021.75],
    [3.1, 2.7, 4.4, 3.9, 3.3, 5.2],
    [-12.0, -15.5, -9.25, -11.0, -20.0, -13.75, -10.5],
    [1.0e6 + 0.125, 1.0e6 + 0.5, 1.0e6 + 0.25, 1.0e6 + 1.0, 1.0e6 + 0.375],
    [0.0, 1.0],
]
for x in sets:
    loc, scale = stats.gumbel_r.fit(x)
    print("    {{{%s}, %.17g, %.17g}," % (", ".join(repr(v) for v in x), loc, scale))

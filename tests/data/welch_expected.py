#!/usr/bin/python3
# Writes welch_expected.txt: the reference numbers of the spectra and
# filter tests (tests/analysis/welch_test.cpp, butterworth_test.cpp),
# computed with scipy. Run by hand when a case is added; CI does not run it.
#
#   /usr/bin/python3 tests/data/welch_expected.py > tests/data/welch_expected.txt
#
# The input series are made by test_series() below, which the tests repeat
# in C++ (integer generator, math.sin): no series is stored.
#
# Format: one record per case,
#   case <kind> <name>
#   param <key> <number>            (any number of these)
#   array <key> <count> <values...>  (any number of these)
#   end
import math
import sys

import numpy as np
import scipy
import scipy.integrate
import scipy.signal


def test_series(n, seed):
    """Two sines and uniform noise from a 64-bit linear congruential generator."""
    s = seed
    out = []
    for i in range(n):
        s = (s * 6364136223846793005 + 1442695040888963407) % (1 << 64)
        u = (s >> 11) * (1.0 / (1 << 53))
        out.append(math.sin(0.37 * i) + 0.5 * math.cos(1.91 * i + 0.3) + (u - 0.5))
    return np.array(out)


def emit(kind, name, params, arrays):
    print(f"case {kind} {name}")
    for k, v in params.items():
        print(f"param {k} {float(v)!r}")
    for k, v in arrays.items():
        v = np.asarray(v, dtype=float).ravel()
        print(f"array {k} {v.size} " + " ".join(repr(float(a)) for a in v))
    print("end")


print(f"# scipy {scipy.__version__}, numpy {np.__version__}")

# Welch: even and odd lengths, segments that do and do not fill the series,
# odd and even nperseg, another overlap.
for name, n, nperseg, noverlap, fs in [
    ("even_fills", 1024, 256, 128, 10.0),
    ("even_rest", 1000, 256, 128, 10.0),
    ("odd_rest_odd_nperseg", 1001, 143, 71, 2.5),
    ("odd_fills", 1001, 77, 38, 100.0),
    ("default_nperseg", 999, 249, 124, 1.0),
    ("overlap_075", 800, 64, 48, 20.0),
    ("single_segment", 40, 40, 20, 1.0),
]:
    x = test_series(n, 7 + n)
    f, p = scipy.signal.welch(x, fs, window="hann", nperseg=nperseg, noverlap=noverlap,
                              detrend="constant", scaling="density")
    m = [scipy.integrate.trapezoid(f**k * p, f) for k in (0, 1, 2, 4)]
    emit("welch", name, {"n": n, "seed": 7 + n, "nperseg": nperseg, "noverlap": noverlap, "fs": fs,
                         "m0": m[0], "m1": m[1], "m2": m[2], "m4": m[3]},
         {"f": f, "psd": p})

# Butterworth sections: orders 1-8, each type.
fs = 100.0
edges = {"low": 10.0, "high": 10.0, "band": [5.0, 20.0], "stop": [5.0, 20.0]}
btypes = {"low": "lowpass", "high": "highpass", "band": "bandpass", "stop": "bandstop"}
kinds = {"low": 0, "high": 1, "band": 2, "stop": 3}
for kind in ("low", "high", "band", "stop"):
    for order in range(1, 9):
        wn = edges[kind]
        sos = scipy.signal.butter(order, wn, btypes[kind], fs=fs, output="sos")
        lo, hi = (wn, 0.0) if np.isscalar(wn) else wn
        emit("butter", f"{kind}{order}", {"kind": kinds[kind], "order": order, "f1": lo, "f2": hi, "fs": fs},
             {"sos": sos})

# Zero-phase filtering: each type at order 1, 4, 8, near 0 and near Nyquist.
near = {
    "low": {"zero": (0.5, 0.0), "nyquist": (45.0, 0.0)},
    "high": {"zero": (0.5, 0.0), "nyquist": (45.0, 0.0)},
    "band": {"zero": (0.5, 1.5), "nyquist": (40.0, 48.0)},
    "stop": {"zero": (0.5, 1.5), "nyquist": (40.0, 48.0)},
}
n = 150
for kind in ("low", "high", "band", "stop"):
    for where in ("zero", "nyquist"):
        for order in (1, 4, 8):
            lo, hi = near[kind][where]
            wn = lo if kind in ("low", "high") else [lo, hi]
            sos = scipy.signal.butter(order, wn, btypes[kind], fs=fs, output="sos")
            seed = 100 + order
            x = test_series(n, seed)
            y = scipy.signal.sosfiltfilt(sos, x)
            emit("filtfilt", f"{kind}_{where}_{order}",
                 {"kind": kinds[kind], "order": order, "f1": lo, "f2": hi, "fs": fs, "n": n, "seed": seed},
                 {"y": y})

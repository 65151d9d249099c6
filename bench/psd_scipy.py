#!/usr/bin/python3
"""The psd summary of every DynRes of a bench file the numpy/scipy way.

    bench/psd_scipy.py FILE DYNRES STEPS > moments.csv

Reads the whole file with np.fromfile, finds the DYNRES records of the
steps (the layout dyngen writes: one record area per step, (DYNRES + 1)
words each, a fixed stride of 512-byte records apart, the first with time
0), and estimates all DynRes at once with scipy.signal.welch (Hann window,
segments of a quarter of the steps, 50 % overlap, mean removed, density),
then the moments m0, m1, m2, m4 by the trapezoidal rule and the peak
frequency, as pektor psd does.
"""
import sys

import numpy as np
import scipy.signal


def main():
    path, dynres, steps = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    words = np.fromfile(path, dtype="<f4")
    rec = words[: words.size // 128 * 128].reshape(-1, 128)
    first = rec[:, 0]
    # The first step's record: time 0, then equal steps k records apart.
    start = stride = None
    for r in np.flatnonzero(first == 0.0):
        for k in range(1, 9):
            j = np.arange(min(steps, 32))
            if r + j[-1] * k >= len(first) or not first[r + k] > 0:
                continue
            if np.allclose(first[r + j * k], j * first[r + k], rtol=1e-5, atol=0):
                start, stride = int(r), k
                break
        if start is not None:
            break
    if start is None:
        sys.exit("psd_scipy.py: no DYNRES records found")
    base = words[start * 128 :]
    if (steps - 1) * stride * 128 + dynres + 1 > base.size:
        sys.exit("psd_scipy.py: the file ends before the last step")
    area = np.lib.stride_tricks.as_strided(base, shape=(steps, dynres + 1),
                                           strides=(stride * 128 * 4, 4), writeable=False)
    t = area[:, 0].astype(np.float64)
    x = area[:, 1 : dynres + 1].astype(np.float64)
    fs = (steps - 1) / (t[-1] - t[0])
    nperseg = max(steps // 4, 16)
    f, p = scipy.signal.welch(x, fs, window="hann", nperseg=nperseg, noverlap=nperseg // 2,
                              detrend="constant", scaling="density", axis=0)
    m = {k: np.trapz(f[:, None] ** k * p, f, axis=0) for k in (0, 1, 2, 4)}
    fp = f[np.argmax(p, axis=0)]
    out = np.column_stack([np.arange(1, dynres + 1), m[0], m[1], m[2], m[4], fp])
    np.savetxt(sys.stdout, out, delimiter=",", header="dynres,m0,m1,m2,m4,fp", comments="",
               fmt="%.17g")


if __name__ == "__main__":
    main()

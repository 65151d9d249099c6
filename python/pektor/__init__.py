"""Dyn files of dynamic analyses straight into numpy arrays and pandas DataFrames.

    import pektor
    with pektor.open("sample.dyn") as f:
        t, x = f.read(dynres="Base*", window=(20, 80))   # float32 arrays
        df = f.to_pandas(dynres=[1, 3])                  # indexed by time
    stats = pektor.stats(["a.dyn", "b.dyn"], jobs=2)     # the rows of `pektor stats`

The series are read by the same C++ reader as the command line (without
the interpreter's lock); the batch functions give the command line's rows
with its columns and the same numbers, as a DataFrame (a list of dicts when
pandas is not installed).
"""

from __future__ import annotations

import warnings as _warnings

__all__ = [
    "DynFileError", "DynFile", "open", "write", "stats", "peak", "daf", "fatigue", "vector",
    "combine", "extremes", "spectra", "rainflow", "del_", "psd", "filter", "peaks", "weibull", "gumbel",
]


class DynFileError(OSError):
    """A dyn file that cannot be read: `.path` names it, `.reason` says why (one line)."""

    def __init__(self, path, reason):
        super().__init__(f"{path}: {reason}")
        self.path = str(path)
        self.reason = str(reason)

    def __reduce__(self):
        return (DynFileError, (self.path, self.reason))


from . import _pektor  # noqa: E402  (DynFileError must exist first)

try:  # pandas is optional: the array functions never need it
    import pandas as _pd
except ImportError:  # pragma: no cover
    _pd = None

import numpy as _np  # noqa: E402


def _path(p):
    import os
    return os.fspath(p)


class DynFile:
    """An open dyn file (see pektor.open): its catalogue, and its series on request."""

    def __init__(self, path):
        self._f = _pektor.File(_path(path))

    @property
    def path(self) -> str:
        """The path the file was opened by."""
        return self._f.path

    @property
    def dynres(self):
        """(number, label) of each DynRes, numbers from 1."""
        return self._f.dynres

    @property
    def labels(self):
        """The label of each DynRes, in number order."""
        return [label for _, label in self._f.dynres]

    @property
    def steps(self) -> int:
        """The number of result steps."""
        return self._f.steps

    @property
    def t_first(self) -> float:
        """The time of the first step (0 without steps)."""
        return self._f.t_first

    @property
    def t_last(self) -> float:
        """The time of the last step (0 without steps)."""
        return self._f.t_last

    def __len__(self):
        return len(self._f.dynres)

    def __repr__(self):
        if self._f.closed:
            return f"<pektor.DynFile {self.path!r} closed>"
        return (f"<pektor.DynFile {self.path!r}: {len(self)} DynRes, {self.steps} steps, "
                f"t {self.t_first:g} to {self.t_last:g}>")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        """Closes the file (the arrays already read stay valid)."""
        self._f.close()

    def select(self, dynres=None):
        """The DynRes numbers that `dynres` selects, as `-c` selects them."""
        return self._f.resolve(dynres)

    def read(self, dynres=None, window=None):
        """(t, x): the times (float32, n) and the values (float32, n x k) of the selected
        DynRes inside the window.

        dynres: None (all), a number, a text as -c takes it ("1-3,Base*"), or a list of
        numbers and texts. window: (t0, t1) with None for an open end, or "T0:T1"; both
        ends inclusive, compared in single precision as the command line does.
        """
        return self._f.read(dynres, window)

    def blocks(self, dynres=None, window=None, steps=65536):
        """An iterator of (t, x) blocks of at most `steps` samples each, for files larger
        than memory; read ahead one block on a thread of its own."""
        return self._f.blocks(dynres, window, steps)

    def columns(self, dynres=None):
        """The column names of the selected DynRes as `pektor export` writes them: the
        label, with " (k)" added when several DynRes share it."""
        numbers = self.select(dynres)
        labels = self.labels
        names = []
        for k in numbers:
            label = labels[k - 1]
            names.append(f"{label} ({k})" if labels.count(label) > 1 else label)
        return names

    def to_pandas(self, dynres=None, window=None):
        """A DataFrame indexed by time (float32, named "time"), one column per DynRes."""
        if _pd is None:
            raise ImportError("pektor.DynFile.to_pandas needs pandas")
        names = self.columns(dynres)
        t, x = self.read(dynres, window)
        return _pd.DataFrame(x, index=_pd.Index(t, name="time"), columns=names, copy=False)


def open(path):  # noqa: A001  (as the built-in open, for files of this kind)
    """Opens a dyn file read-only and reads its catalogue; raises DynFileError."""
    return DynFile(path)


def _files(files):
    if isinstance(files, (str, bytes)) or hasattr(files, "__fspath__"):
        files = [files]
    files = [_path(f) for f in files]
    if not files:
        raise ValueError("no dyn file given")
    return files


def _text(v):
    if v is None:
        return ""
    return str(v)


def _texts(v):
    """A value or a list of values as the command line's texts."""
    if v is None:
        return None
    items = [v] if isinstance(v, (int, float, str)) else list(v)
    return [x if isinstance(x, str) else (str(int(x)) if float(x).is_integer() else repr(float(x)))
            for x in items]


def _rows(command, files, dynres=None, window=None, jobs=0, errors="warn", frame=True,
          filter=None, filter_order=None, **options):  # noqa: A002
    if errors not in ("warn", "raise", "ignore"):
        raise ValueError(f"errors '{errors}' is not warn, raise or ignore")
    files = _files(files)
    if jobs is None or int(jobs) < 0:
        raise ValueError("jobs: 0 (one per core) or more")
    def option(k, v):
        if k in ("m", "quantiles"):  # lists of numbers, as the command line types them
            return _texts(v)
        if v is None or isinstance(v, bool) or k == "coincident":  # as given (None: not given)
            return v
        return _text(v)

    opts = {k: option(k, v) for k, v in options.items()}
    for k in ("ref", "input"):
        if opts.get(k):
            opts[k] = _path(opts[k])
    opts["jobs"] = str(int(jobs)) if int(jobs) > 0 else None
    opts["filter"] = None if filter is None else _text(filter)
    opts["filter_order"] = None if filter_order is None else _text(filter_order)
    columns, kinds, rows, failures, notes = _pektor.run(command, files, dynres, window, opts)
    if failures and (errors == "raise" or (errors == "warn" and len(failures) == len(files))):
        raise DynFileError(*failures[0])
    if errors == "warn":
        for path, reason in failures:
            _warnings.warn(f"pektor {command}: {path}: {reason}", RuntimeWarning, stacklevel=3)
        for path, text in notes:
            where = f"{path}: " if path else ""
            _warnings.warn(f"pektor {command}: {where}{text}", RuntimeWarning, stacklevel=3)
    if not frame or _pd is None:
        return [dict(zip(columns, r)) for r in rows]
    df = _pd.DataFrame(rows, columns=columns)
    for name, kind in zip(columns, kinds):
        if kind == "stored" and df[name].notna().all():
            df[name] = df[name].astype(_np.float32)
    return df


_FILTER_DOC = """
    filter: a Butterworth filter run forwards and backwards over each whole series before
    the window is cut, as --filter: "low:F", "high:F", "band:F1:F2" or "stop:F1:F2" (Hz),
    filter_order 1 to 8 (default 4); the rows then end with the column filter."""


def stats(files, dynres=None, window=None, moments="sample", jobs=0, errors="warn",
          filter=None, filter_order=None):  # noqa: A002
    """The rows of `pektor stats`: one per file and DynRes (file, dynres, label, t_first,
    t_last, n, max, t_max, min, t_min, mean, std, skew, kurt, tz).

    files: a path or a list of paths. moments: "sample" (divisor n-1) or "population".
    jobs: threads that read the files (0: one per core). A file that fails is a
    RuntimeWarning naming it (errors="raise": a DynFileError; "ignore": nothing, not even
    when no file is read); DynFileError when no file is read.
    Returns a DataFrame (a list of dicts without pandas).
    """
    return _rows("stats", files, dynres, window, moments=moments, jobs=jobs, errors=errors,
                 filter=filter, filter_order=filter_order)


def peak(files, dynres=None, window=None, sign="max", coincident=None, jobs=0, errors="warn",
         filter=None, filter_order=None):  # noqa: A002
    """The rows of `pektor peak`: the peak of each DynRes by the sign convention (max, min,
    abs or signed), with the values of the `coincident` DynRes at its time (columns c<k>)."""
    return _rows("peak", files, dynres, window, sign=sign, coincident=coincident, jobs=jobs,
                 errors=errors, filter=filter, filter_order=filter_order)


def daf(files, ref, dynres=None, window=None, sign="max", jobs=0, errors="warn",
        filter=None, filter_order=None):  # noqa: A002
    """The rows of `pektor daf`: the peaks of each file against those of the reference file
    `ref` (dynamic amplification factors)."""
    return _rows("daf", files, dynres, window, sign=sign, ref=ref, jobs=jobs, errors=errors,
                 filter=filter, filter_order=filter_order)


def fatigue(files, dynres=None, window=None, m=None, neq=None, feq=None,
            residuals=None, cycles=False, bins=None, jobs=0, errors="warn",
            filter=None, filter_order=None):  # noqa: A002
    """The rows of `pektor fatigue`: rainflow cycles and damage-equivalent loads del_m<m>
    for the Woehler exponents m (None: 3, 4, 5, 8, 10, 12 as -m; neq or feq as
    --neq/--feq); cycles=True: the cycle table with `bins` ranges."""
    return _rows("fatigue", files, dynres, window, m=m, neq=neq, feq=feq, residuals=residuals,
                 cycles=cycles, bins=bins, jobs=jobs, errors=errors, filter=filter,
                 filter_order=filter_order)


def vector(files, dynres, window=None, jobs=0, errors="warn", filter=None,
           filter_order=None):  # noqa: A002
    """The rows of `pektor vector`: the resultant of two DynRes (dynres="A,B" or [A, B])."""
    return _rows("vector", files, dynres, window, jobs=jobs, errors=errors, filter=filter,
                 filter_order=filter_order)


def combine(files, input, window=None, jobs=0, errors="warn", filter=None,
            filter_order=None):  # noqa: A002
    """The rows of `pektor combine`: the load combinations of the combination input file."""
    return _rows("combine", files, None, window, input=input, jobs=jobs, errors=errors,
                 filter=filter, filter_order=filter_order)


def extremes(files, dynres=None, window=None, sign="max", fit=None, duration=None,
             quantiles=None, group=None, jobs=0, errors="warn", filter=None,
             filter_order=None):  # noqa: A002
    """The rows of `pektor extremes`: per file and DynRes the peaks between up-crossings
    of the window's mean, their Weibull fit (fit "pwm", the default, or "msm"), the Gumbel
    of the largest of the peaks of a storm of `duration` seconds (default 10800; mpm = its
    mode) and its quantiles (default 0.37, 0.57, 0.90: columns p_37, p_57, p_90); sign
    "max" or "min". group: a regular expression; the files whose paths are equal once its
    first match is removed are fitted together (a Gumbel of their maxima, fit "moments",
    the default, or "mle"), one row per group and DynRes."""
    return _rows("extremes", files, dynres, window, sign=sign, fit=fit, duration=duration,
                 quantiles=quantiles, group=group, jobs=jobs, errors=errors, filter=filter,
                 filter_order=filter_order)


def spectra(files, dynres=None, window=None, nperseg=None, overlap=None, curve=False, jobs=0,
            errors="warn", filter=None, filter_order=None):  # noqa: A002
    """The rows of `pektor psd`: per file and DynRes Welch's one-sided spectrum of the
    window (periodic Hann segments of nperseg samples, default a quarter of the window's,
    overlapping by `overlap`, default 0.5) and its spectral moments m0, m1, m2, m4, tz_spec,
    t01, tp, fp and bandwidth; curve=True: the spectrum itself, a row per frequency.
    For an array, pektor.psd(x, fs)."""
    return _rows("psd", files, dynres, window, nperseg=nperseg, overlap=overlap, curve=curve,
                 jobs=jobs, errors=errors, filter=filter, filter_order=filter_order)


for _f in (stats, peak, daf, fatigue, vector, combine, extremes, spectra):
    if _f.__doc__:  # none under python -OO
        _f.__doc__ += _FILTER_DOC
del _f


def rainflow(x, residuals="half"):
    """(ranges, means, counts) of the rainflow cycles of a series (ASTM E1049-85), counts
    0.5 for half cycles; residuals "half" or "full"."""
    return _pektor.rainflow(_np.asarray(x, dtype=_np.float64).ravel(), residuals)


def del_(x, m, neq, residuals="half"):
    """The damage-equivalent loads (sum n S^m / neq)^(1/m) of a series: a float for one
    exponent m, a list for several (nan where no value can be given)."""
    many = not isinstance(m, (int, float))
    ms = [float(v) for v in m] if many else [float(m)]
    dels = _pektor.del_(_np.asarray(x, dtype=_np.float64).ravel(), ms, float(neq), residuals)
    return dels if many else dels[0]


def psd(x, fs, nperseg=0, overlap=0.5):
    """Welch's one-sided power spectral density of a series sampled at fs Hz, and its
    spectral moments: a dict with freqs, psd, segments, df, m0, m1, m2, m4, tz_spec, t01,
    tp, fp, bandwidth (nan where not defined)."""
    return _pektor.psd(_np.asarray(x, dtype=_np.float64).ravel(), float(fs), int(nperseg),
                       float(overlap))


def filter(x, fs, kind, f1, f2=0.0, order=4):  # noqa: A001
    """The series filtered forwards and backwards (zero phase) by a Butterworth filter:
    kind "low", "high" (cut-off f1) or "band", "stop" (f1 to f2), order 1 to 8."""
    return _pektor.filter(_np.asarray(x, dtype=_np.float64).ravel(), float(fs), kind,
                          float(f1), float(f2), int(order))


def peaks(x, tail="max"):
    """The peaks of a series between up-crossings of its mean (tail "max" or "min")."""
    return _pektor.peaks(_np.asarray(x, dtype=_np.float64).ravel(), tail)


def weibull(peaks, method="pwm", tail="max"):  # noqa: F811
    """The three-parameter Weibull fitted to peaks ("pwm" or "msm"): dict loc, scale, shape;
    ValueError when no fit can be made."""
    return _pektor.weibull(_np.asarray(peaks, dtype=_np.float64).ravel(), method, tail)


def gumbel(loc, scale, shape, n, tail="max", q=0.37):
    """The Gumbel of the largest of n peaks of a Weibull (loc, scale, shape): dict loc,
    scale and its quantile q (0.37: the most probable extreme)."""
    return _pektor.gumbel(float(loc), float(scale), float(shape), float(n), tail, float(q))


def write(path, t, x, labels, overwrite=False, pack=0):
    """Writes a DynRes dyn file: times t (n), values x (n x k, or n for one DynRes) as
    float32, one label (printable ASCII, at most 40 characters) per DynRes; pack: steps per
    record (0: one). Refuses to replace an existing file unless overwrite=True."""
    if isinstance(labels, str):
        labels = [labels]
    _pektor.write(_path(path), _np.asarray(t, dtype=_np.float32),
                  _np.asarray(x, dtype=_np.float32), list(labels), bool(overwrite), int(pack))

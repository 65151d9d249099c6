"""The Python module against the command line: the same rows, the same series, the same
refusals. Run by CTest (test `python`) with PYTHONPATH set to the built module and
PEKTOR_BIN / PEKTOR_DYNGEN / PEKTOR_SOURCE naming the built programs and the source tree."""

import csv
import hashlib
import io
import math
import os
import shutil
import subprocess
import warnings
from pathlib import Path

import numpy as np
import pytest

import pektor

SOURCE = Path(os.environ.get("PEKTOR_SOURCE", Path(__file__).resolve().parents[2]))
DATA = SOURCE / "tests" / "data"
CORPUS = SOURCE / "tests" / "fuzz" / "corpus" / "dyn_file"
PEKTOR = os.environ.get("PEKTOR_BIN", "pektor")
DYNGEN = os.environ.get("PEKTOR_DYNGEN", "dyngen")
FIXTURES = sorted(p.name for p in DATA.glob("*.dyn"))


def run(args, cwd, stdin=None):
    return subprocess.run([PEKTOR, *args], cwd=cwd, input=stdin, capture_output=True, text=True,
                          timeout=120)


@pytest.fixture
def work(tmp_path):
    """A scratch folder with every fixture and a sample file of 3 DynRes and 500 steps."""
    for name in FIXTURES:
        shutil.copy(DATA / name, tmp_path / name)
    shutil.copy(DATA / "combo_input.txt", tmp_path / "combo_input.txt")
    subprocess.run([DYNGEN, "--dynres", "3", "--steps", "500", "-o", "gen.dyn"], cwd=tmp_path,
                   check=True, capture_output=True)
    return tmp_path


def csv_rows(text):
    rows = list(csv.reader(io.StringIO(text)))
    return rows[0], rows[1:]


def same_cell(text, value):
    """Is the module's value the number or text that the CSV cell holds, to the bit?"""
    if value is None or (isinstance(value, float) and math.isnan(value) and text == ""):
        return text == ""
    if isinstance(value, str):
        return text == value
    if isinstance(value, (int, np.integer)) and not isinstance(value, bool):
        return text == str(value)
    number = float(text)
    if math.isnan(number) or math.isnan(value):
        return math.isnan(number) and math.isnan(value)
    if number == value:
        return True
    # A stored single-precision value: its shortest text reads back to it.
    return float(np.float32(value)) == value and np.float32(number) == np.float32(value)


def assert_same_rows(cli_text, records):
    columns, rows = csv_rows(cli_text)
    assert len(rows) == len(records)
    for row, rec in zip(rows, records):
        assert list(rec.keys()) == columns
        for c, text in zip(columns, row):
            assert same_cell(text, rec[c]), (c, text, rec[c])


BATCH_CASES = [
    # (command, CLI arguments, module call)
    ("stats", [], lambda f: pektor.stats(f)),
    ("stats", ["-c", "1,3", "-w", "0.5:1.5"], lambda f: pektor.stats(f, "1,3", (0.5, 1.5))),
    ("stats", ["-c", "Shear*", "--moments", "population"],
     lambda f: pektor.stats(f, "Shear*", moments="population")),
    ("stats", ["-w", ":1"], lambda f: pektor.stats(f, window=(None, 1))),
    ("peak", ["--sign", "abs", "--coincident", "2"],
     lambda f: pektor.peak(f, sign="abs", coincident=2)),
    ("peak", ["-c", "2-3", "--sign", "signed"], lambda f: pektor.peak(f, [2, 3], sign="signed")),
    ("fatigue", ["-m", "3,4,10"], lambda f: pektor.fatigue(f, m=(3, 4, 10))),
    ("fatigue", ["-m", "4", "--neq", "1e7", "-w", "1:"],
     lambda f: pektor.fatigue(f, window=(1, None), m=4, neq=1e7)),
    ("fatigue", ["--cycles", "--bins", "5"], lambda f: pektor.fatigue(f, cycles=True, bins=5)),
    ("vector", ["-c", "1,2"], lambda f: pektor.vector(f, "1,2")),
    ("extremes", ["-c", "1"], lambda f: pektor.extremes(f, 1)),
    ("extremes", ["--sign", "min", "--fit", "msm", "--duration", "3600", "--quantiles", "0.5,0.9"],
     lambda f: pektor.extremes(f, sign="min", fit="msm", duration=3600, quantiles=(0.5, 0.9))),
    ("extremes", ["--group", "^(le|be)_", "--fit", "mle"],
     lambda f: pektor.extremes(f, group="^(le|be)_", fit="mle")),
    ("stats", ["--filter", "low:2", "-w", "0.5:"],
     lambda f: pektor.stats(f, window=(0.5, None), filter="low:2")),
    ("peak", ["--filter", "band:0.5:3", "--filter-order", "2", "--sign", "abs"],
     lambda f: pektor.peak(f, sign="abs", filter="band:0.5:3", filter_order=2)),
    ("psd", [], lambda f: pektor.spectra(f)),
    ("psd", ["-c", "1", "--nperseg", "64", "--overlap", "0.25", "--curve"],
     lambda f: pektor.spectra(f, 1, nperseg=64, overlap=0.25, curve=True)),
]


@pytest.mark.parametrize("command,args,call", BATCH_CASES)
def test_rows_equal_the_command_line(work, command, args, call):
    files = ["le_basic.dyn", "be_basic.dyn", "packed.dyn", "gen.dyn"]
    cli = run([command, "-f", "csv", *args, *files], work)
    assert cli.returncode in (0, 2), cli.stderr
    cwd = os.getcwd()
    os.chdir(work)
    try:
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            frame = call(files)
        assert_same_rows(cli.stdout, frame.to_dict("records"))
        # a file the command line names on standard error is a warning naming it
        assert sorted(str(w.message) for w in caught) == sorted(cli.stderr.splitlines())
    finally:
        os.chdir(cwd)


def test_combine_and_daf_equal_the_command_line(work):
    files = [str(work / "combo.dyn")]
    cli = run(["combine", "-f", "csv", "--input", "combo_input.txt", *files], work)
    assert cli.returncode == 0, cli.stderr
    assert_same_rows(cli.stdout, pektor.combine(files, work / "combo_input.txt")
                     .to_dict("records"))
    cli = run(["daf", "-f", "csv", "--ref", "le_basic.dyn", "be_basic.dyn", "packed.dyn"], work)
    assert cli.returncode == 0, cli.stderr
    cwd = os.getcwd()
    os.chdir(work)
    try:
        got = pektor.daf(["be_basic.dyn", "packed.dyn"], ref="le_basic.dyn")
    finally:
        os.chdir(cwd)
    assert_same_rows(cli.stdout, got.to_dict("records"))


def test_jobs_give_the_same_rows(work):
    files = [str(work / n) for n in ("le_basic.dyn", "be_basic.dyn", "packed.dyn", "gen.dyn")] * 3
    one = pektor.stats(files, jobs=1)
    two = pektor.stats(files, jobs=2)
    assert one.equals(two)
    assert pektor.fatigue(files, jobs=2).equals(pektor.fatigue(files, jobs=1))


def export_of(work, name, args=()):
    return run(["export", "-f", "csv", *args, name], work)


@pytest.mark.parametrize("name", FIXTURES)
def test_read_equals_export_for_every_fixture(work, name):
    before = hashlib.sha256((work / name).read_bytes()).hexdigest()
    cli = export_of(work, name)
    if cli.returncode != 0:
        reason = cli.stderr.strip().split(f"pektor export: {name}: ", 1)[-1]
        if "no result steps" in reason:  # no sample: empty arrays, not an error
            with pektor.open(work / name) as f:
                t, x = f.read()
                assert t.shape == (0,) and x.shape == (0, len(f)) and f.steps == 0
            return
        with pytest.raises(pektor.DynFileError) as e:
            with pektor.open(work / name) as f:
                f.read()
        assert e.value.reason == reason
        assert e.value.path == str(work / name)
    else:
        columns, rows = csv_rows(cli.stdout)
        with pektor.open(work / name) as f:
            t, x = f.read()
            assert ["time", *f.columns()] == columns
            assert t.dtype == np.float32 and x.dtype == np.float32
            assert x.shape == (len(rows), len(f))
            assert f.steps == len(rows)
            expect = np.array([[np.float32(float(v)) for v in r] for r in rows], dtype=np.float32)
            np.testing.assert_array_equal(t, expect[:, 0])
            np.testing.assert_array_equal(x, expect[:, 1:])
    # read-only: a version 0 file is read without converting it
    assert hashlib.sha256((work / name).read_bytes()).hexdigest() == before


@pytest.mark.parametrize("dynres,window,args", [
    (None, (0.5, 1.0), ["-w", "0.5:1"]),
    ("Shear*", None, ["-c", "Shear*"]),
    ([3, "1-2"], (None, 0.25), ["-c", "3,1-2", "-w", ":0.25"]),
    ("s*x", "0.1:", ["-c", "s*x", "-w", "0.1:"]),
    (2, (0.05, 0.05), ["-c", "2", "-w", "0.05:0.05"]),
])
def test_windows_and_patterns_as_the_command_line(work, dynres, window, args):
    cli = export_of(work, "le_basic.dyn", args)
    assert cli.returncode == 0, cli.stderr
    columns, rows = csv_rows(cli.stdout)
    with pektor.open(work / "le_basic.dyn") as f:
        t, x = f.read(dynres, window)
        assert ["time", *f.columns(dynres)] == columns
        expect = np.array([[np.float32(float(v)) for v in r] for r in rows], dtype=np.float32)
        np.testing.assert_array_equal(t, expect[:, 0])
        np.testing.assert_array_equal(x, expect[:, 1:])
        frame = f.to_pandas(dynres, window)
        assert list(frame.columns) == columns[1:]
        np.testing.assert_array_equal(frame.index.to_numpy(), t)


def test_blocks_give_the_read_in_pieces(work):
    with pektor.open(work / "gen.dyn") as f:
        t, x = f.read("1,3", (1, None))
        parts = list(f.blocks("1,3", (1, None), steps=77))
        assert all(len(pt) == 77 for pt, _ in parts[:-1]) and 0 < len(parts[-1][0]) <= 77
        np.testing.assert_array_equal(np.concatenate([p[0] for p in parts]), t)
        np.testing.assert_array_equal(np.concatenate([p[1] for p in parts]), x)
        it = f.blocks(steps=10)
        next(it)
        del it  # left early: the reading thread ends


def test_catalogue(work):
    with pektor.open(work / "le_basic.dyn") as f:
        assert len(f) == 5 and f.steps == 40
        assert f.dynres[0] == (1, "Shear X")
        assert f.t_first == 0.0 and f.t_last == np.float32(1.95)
        assert "5 DynRes, 40 steps" in repr(f)
    assert "closed" in repr(f)
    with pytest.raises(ValueError):
        f.read()


@pytest.mark.parametrize("call,message", [
    (lambda f: f.read(dynres=0), "start at 1"),
    (lambda f: f.read(dynres=9), "9"),
    (lambda f: f.read(dynres="nothing*"), "nothing"),
    (lambda f: f.read(dynres=""), "empty"),
    (lambda f: f.read(window=(2, 1)), ""),
    (lambda f: f.read(window=(float("nan"), 1)), ""),
    (lambda f: f.read(window="1"), ""),
    (lambda f: f.blocks(steps=0), "steps"),
    (lambda f: pektor.stats(f.path, moments="odd"), "odd"),
    (lambda f: pektor.peak(f.path, sign="up"), "up"),
    (lambda f: pektor.fatigue(f.path, m=(3, -1)), ""),
    (lambda f: pektor.vector(f.path, "1"), "two"),
    (lambda f: pektor.stats([]), "no dyn file"),
    (lambda f: pektor.stats(f.path, jobs=-1), "jobs"),
    (lambda f: pektor.stats(f.path, filter_order=4), "--filter-order applies with --filter only"),
    (lambda f: pektor.stats(f.path, filter="low"), "low"),
    (lambda f: pektor.spectra(f.path, overlap=1.5), "overlap"),
    (lambda f: pektor.extremes(f.path, group="("), "group"),
    (lambda f: pektor.fatigue(f.path, neq=10, feq=1), "neq"),
    (lambda f: pektor.filter(np.zeros(100), 10.0, "low", 6.0), ""),
    (lambda f: pektor.weibull([1.0, 2.0]), ""),
])
def test_bad_arguments_are_value_errors(work, call, message):
    with pektor.open(work / "le_basic.dyn") as f:
        with pytest.raises(ValueError, match=message):
            call(f)


def test_failed_files_warn_or_raise(work):
    files = [str(work / "le_basic.dyn"), str(work / "truncated.dyn"), str(work / "missing.dyn")]
    with pytest.warns(RuntimeWarning, match="missing.dyn"):
        rows = pektor.stats(files)
    assert set(rows["file"]) == {str(work / "le_basic.dyn")}
    with pytest.raises(pektor.DynFileError):
        pektor.stats(files, errors="raise")
    with pytest.raises(pektor.DynFileError) as e:
        pektor.stats(files[2:])
    assert e.value.path == files[2] and e.value.reason
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        pektor.stats(files, errors="ignore")


def test_damaged_files_raise_and_never_crash(tmp_path):
    inputs = sorted(CORPUS.iterdir())
    assert inputs, "the fuzz corpus is missing"
    for i, p in enumerate(inputs):
        target = tmp_path / f"{i}.dyn"
        shutil.copy(p, target)
        try:
            with pektor.open(target) as f:
                f.read()
                for _ in f.blocks(steps=1000):
                    pass
        except pektor.DynFileError as e:
            assert e.reason and "\n" not in e.reason
        pektor.stats(target, errors="ignore")


def test_write_round_trips_and_the_dialogue_reads_it(tmp_path):
    t = (np.arange(300) * 0.1).astype(np.float32)
    x = np.stack([np.sin(t), np.cos(t) * 1e6, np.full_like(t, -3.25)], axis=1).astype(np.float32)
    labels = ["Base Fx", "Base My", "Const"]
    for pack in (0, 7):
        path = tmp_path / f"w{pack}.dyn"
        pektor.write(path, t, x, labels, pack=pack)
        with pektor.open(path) as f:
            assert f.labels == labels and f.steps == 300
            t2, x2 = f.read()
            np.testing.assert_array_equal(t2, t)
            np.testing.assert_array_equal(x2, x)
    with pytest.raises(ValueError, match="exists"):
        pektor.write(tmp_path / "w0.dyn", t, x, labels)
    pektor.write(tmp_path / "w0.dyn", t[:10], x[:10], labels, overwrite=True)
    assert pektor.open(tmp_path / "w0.dyn").steps == 10
    with pytest.raises(ValueError):
        pektor.write(tmp_path / "bad.dyn", t, x[:, :2], labels)
    assert not (tmp_path / "bad.dyn").exists()
    assert sorted(p.name for p in tmp_path.iterdir()) == ["w0.dyn", "w7.dyn"]
    dialogue = run(["2"], tmp_path, stdin="3\nw7.dyn\nout.txt\n\nall\n")
    assert dialogue.returncode == 0, dialogue.stdout + dialogue.stderr
    text = (tmp_path / "out.txt").read_text(errors="replace")
    assert "Base Fx" in text and "Const" in text



def test_large_arrays_outlive_their_file(tmp_path):
    # Arrays of several MiB live in memory of their own (mapped, not from
    # malloc); a packed file has no cheap sample count, so the arrays grow
    # from small to mapped while they are filled.
    n = 360_000
    t = (np.arange(n) * 0.01 + 0.01).astype(np.float32)
    x = np.stack([np.sin(t * 3), t * -2.5, np.cos(t)], axis=1).astype(np.float32)
    for pack in (0, 7):
        path = tmp_path / f"big{pack}.dyn"
        pektor.write(path, t, x, ["A", "B", "C"], pack=pack)
        with pektor.open(path) as f:
            t2, x2 = f.read()
            tail = f.read(2)[1][-1000:]
        np.testing.assert_array_equal(t2, t)
        np.testing.assert_array_equal(x2, x)
        view = x2[::2, 1]
        del x2, t2
        np.testing.assert_array_equal(view, x[::2, 1])
        np.testing.assert_array_equal(tail[:, 0], x[-1000:, 1])

def test_analyses_on_arrays(work):
    x = np.array([0.0, 2.0, -1.0, 3.0, -2.0, 1.0, 0.0])
    ranges, means, counts = pektor.rainflow(x)
    assert counts.sum() > 0 and len(ranges) == len(means) == len(counts)
    assert ranges.max() == 5.0
    # the DELs of the read series are those of the fatigue command
    with pektor.open(work / "gen.dyn") as f:
        t, s = f.read(1)
    rows = pektor.fatigue(work / "gen.dyn", dynres=1, m=(3, 4), neq=1e6)
    assert pektor.del_(s[:, 0], [3, 4], 1e6) == [rows["del_m3"][0], rows["del_m4"][0]]
    assert pektor.del_(s[:, 0], 3, 1e6) == rows["del_m3"][0]
    fs = 1.0 / float(t[1] - t[0])
    welch = pektor.psd(s[:, 0], fs)
    assert len(welch["freqs"]) == len(welch["psd"]) and welch["m0"] > 0
    low = pektor.filter(s[:, 0], fs, "low", fs / 10)
    assert low.shape == (len(s),) and np.isfinite(low).all()
    p = pektor.peaks(s[:, 0])
    w = pektor.weibull(p) if len(p) >= 4 else None
    if w is not None:
        g = pektor.gumbel(w["loc"], w["scale"], w["shape"], 1000)
        assert np.isfinite(g["quantile"])


def test_threads_share_a_file(work):
    from concurrent.futures import ThreadPoolExecutor
    with pektor.open(work / "gen.dyn") as f:
        t, x = f.read()
        it = f.blocks(steps=100)
        with ThreadPoolExecutor(4) as pool:
            results = list(pool.map(lambda _: f.read(), range(8)))
        for t2, x2 in results:
            np.testing.assert_array_equal(t2, t)
            np.testing.assert_array_equal(x2, x)
    # the iterator reads on after the file is closed
    np.testing.assert_array_equal(np.concatenate([b[1] for b in it]), x)


def test_rows_without_pandas(work, monkeypatch):
    frame = pektor.stats(work / "le_basic.dyn", dynres="1,2")
    monkeypatch.setattr(pektor, "_pd", None)
    rows = pektor.stats(work / "le_basic.dyn", dynres="1,2")
    assert isinstance(rows, list) and [list(r) for r in rows] == [list(frame.columns)] * 2
    assert [r["max"] for r in rows] == list(frame["max"])
    with pytest.raises(ImportError):
        pektor.open(work / "le_basic.dyn").to_pandas()

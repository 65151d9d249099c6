"""The Python module's figures (bench/run): f.read() of every DynRes of a large file against
cat, with the peak memory beyond the arrays; pektor.stats over the many-files suite against
the command line; and a numpy baseline that reads a file with np.fromfile and computes the
same statistics.

The Python runs are timed inside the interpreter, from after the imports to the end of the
work (net of the interpreter's start-up, which varies by tens of milliseconds from run to
run); cat and the command line by their wall time, start-up included.

    /usr/bin/python3 bench/python.py MODULE_DIR PEKTOR BIG_FILE MANY_DIR RUNS
"""

import statistics
import subprocess
import sys
import time
from pathlib import Path

module, pektor_bin, big, many, runs = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
py = "/usr/bin/python3"
env = {"PYTHONPATH": module, "PATH": "/usr/bin:/bin"}
many_files = sorted(str(p) for p in Path(many).glob("*.dyn"))

# Each Python run prints the seconds of its work (after the imports).
CLOCK = "import time; _t0 = time.perf_counter()\n"
DONE = "\nprint(time.perf_counter() - _t0)"
START = "import numpy, pandas, pektor"
START_READ = "import numpy, pektor"
READ = START_READ + "\n" + CLOCK + f"f = pektor.open({big!r}); t, x = f.read()" + DONE
RAW = str(Path(big).with_suffix(".f32"))
STATS_BIG = START + "\n" + CLOCK + f"pektor.stats({big!r}, jobs=1)" + DONE
STATS_J1 = START + "\n" + CLOCK + f"pektor.stats({many_files!r}, jobs=1)" + DONE
STATS_J2 = START + "\n" + CLOCK + f"pektor.stats({many_files!r}, jobs=2)" + DONE
# The numpy baseline: the same series as a raw float32 dump (time and the
# values of each step, as a conversion tool would leave them) read with
# np.fromfile, then the statistics of each column: max and its time, min and
# its time, mean, std, skewness, kurtosis, up-crossings of the mean.
NUMPY = CLOCK.join(["import numpy as np\n", f"""a = np.fromfile({RAW!r}, dtype=np.float32).reshape(-1, {{k}})
t, x = a[:, 0], a[:, 1:].astype(np.float64)
imax, imin = x.argmax(axis=0), x.argmin(axis=0)
m = x.mean(axis=0); d = x - m; s = d.std(axis=0, ddof=1)
skew = (d ** 3).mean(axis=0) / d.std(axis=0) ** 3; kurt = (d ** 4).mean(axis=0) / d.var(axis=0) ** 2
up = ((d[:-1] < 0) & (d[1:] >= 0)).sum(axis=0)
"""]) + DONE


sys.path.insert(0, module)
import pektor  # noqa: E402

with pektor.open(big) as f:
    arrays = f.steps * (len(f) + 1) * 4
    if not Path(RAW).exists():
        t, x = f.read()
        np_ = __import__("numpy")
        np_.column_stack([t, x]).astype(np_.float32).tofile(RAW)
    NUMPY = NUMPY.replace("{k}", str(len(f) + 1))


def wall(cmd):
    """The seconds a Python run prints of its work, else the command's wall time."""
    if cmd[0] != py:
        t0 = time.perf_counter()
        subprocess.run(cmd, env=env, check=True, stdout=subprocess.DEVNULL)
        return time.perf_counter() - t0
    out = subprocess.run(cmd, env=env, check=True, stdout=subprocess.PIPE, text=True).stdout
    return float(out.strip().splitlines()[-1])


def rss_kib(cmd):
    out = subprocess.run(["/usr/bin/time", "-f", "%M", *cmd], env=env, check=True,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(out.stderr.strip().splitlines()[-1])


def interleaved(cmds):
    """Median wall time of each command over `runs` rounds, the commands taking turns."""
    times = [[] for _ in cmds]
    for _ in range(runs):
        for i, c in enumerate(cmds):
            times[i].append(wall(c))
    return [statistics.median(t) for t in times]


wall(["cat", big])
cat, read, numpy = interleaved([["cat", big], [py, "-c", READ], [py, "-c", NUMPY]])
rss_start = rss_kib([py, "-c", START_READ])
rss_read = rss_kib([py, "-c", READ])
print()
print(f"Python: f.read() of every DynRes of {Path(big).name} ({Path(big).stat().st_size >> 20} MiB), "
      f"median of {runs} runs, timed in the interpreter after its imports")
print(f"{'':44s} {'wall s':>8s} {'x cat':>8s}")
print(f"{'cat of the file':44s} {cat:8.3f} {1:8.2f}")
print(f"{'f.read()':44s} {read:8.3f} {read / cat:8.2f}")
print(f"{'numpy baseline (np.fromfile + statistics)':44s} {numpy:8.3f} {numpy / cat:8.2f}")
extra = (rss_read - rss_start) * 1024 - arrays
print(f"peak memory of the read beyond the start-up: {(rss_read - rss_start) / 1024:.1f} MiB, "
      f"arrays {arrays / 2**20:.1f} MiB, beyond the arrays {extra / 2**20:.1f} MiB")

big_stats, cli1, cli2, py1, py2 = interleaved(
    [[py, "-c", STATS_BIG], [pektor_bin, "stats", "-q", "-j", "1", "-f", "csv", *many_files],
     [pektor_bin, "stats", "-q", "-j", "2", "-f", "csv", *many_files], [py, "-c", STATS_J1],
     [py, "-c", STATS_J2]])
print(f"{'pektor.stats(file, jobs=1), the same statistics':44s} {big_stats:8.3f} {big_stats / cat:8.2f}")
print()
print(f"Python: pektor.stats over {len(many_files)} files against the command line, median of {runs} runs "
      "(Python timed after its imports, the command line with its start-up)")
print(f"{'':44s} {'wall s':>8s} {'x CLI':>8s}")
for label, cli, p in (("jobs=1 / -j 1", cli1, py1), ("jobs=2 / -j 2", cli2, py2)):
    print(f"{'pektor stats ' + label.split(' / ')[1]:44s} {cli:8.3f} {1:8.2f}")
    print(f"{'pektor.stats(' + label.split(' / ')[0] + ')':44s} {p:8.3f} {p / cli:8.2f}")

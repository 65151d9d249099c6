"""The Python module's figures (bench/run): f.read() of every DynRes of a large file against
cat, net of the interpreter's start-up, with the peak memory beyond the arrays; pektor.stats
over the many-files suite against the command line; and a numpy baseline that reads a file
with np.fromfile and computes the same statistics.

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

START = "import numpy, pandas, pektor"
READ = START + f"\nf = pektor.open({big!r}); t, x = f.read()"
STATS_J1 = START + f"\npektor.stats({many_files!r}, jobs=1)"
STATS_J2 = START + f"\npektor.stats({many_files!r}, jobs=2)"
# The numpy baseline: the whole file read with np.fromfile as floats, then the
# statistics of each column of a (steps x DynRes) array of that size: max and
# its time, min and its time, mean, std, skewness, kurtosis, up-crossings.
NUMPY = f"""import numpy as np
raw = np.fromfile({big!r}, dtype=np.float32)
import pektor
f = pektor.open({big!r})
k = len(f) + 1
a = raw[: (raw.size // k) * k].reshape(-1, k)
t, x = a[:, 0], a[:, 1:].astype(np.float64)
imax, imin = x.argmax(axis=0), x.argmin(axis=0)
m = x.mean(axis=0); d = x - m; s = d.std(axis=0, ddof=1)
skew = (d ** 3).mean(axis=0) / d.std(axis=0) ** 3; kurt = (d ** 4).mean(axis=0) / d.var(axis=0) ** 2
up = ((d[:-1] < 0) & (d[1:] >= 0)).sum(axis=0)
"""


def wall(cmd):
    t0 = time.perf_counter()
    subprocess.run(cmd, env=env, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - t0


def median(cmd):
    return statistics.median(wall(cmd) for _ in range(runs))


def rss_kib(cmd):
    out = subprocess.run(["/usr/bin/time", "-f", "%M", *cmd], env=env, check=True,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(out.stderr.strip().splitlines()[-1])


wall(["cat", big])
start = median([py, "-c", START])
cat = median(["cat", big])
read = median([py, "-c", READ]) - start
numpy = median([py, "-c", NUMPY]) - start
rss_start = rss_kib([py, "-c", START])
rss_read = rss_kib([py, "-c", READ])
sys.path.insert(0, module)
import pektor  # noqa: E402

with pektor.open(big) as f:
    arrays = f.steps * (len(f) + 1) * 4
print()
print(f"Python: f.read() of every DynRes of {Path(big).name} ({Path(big).stat().st_size >> 20} MiB), "
      f"median of {runs} runs, net of the interpreter's start-up ({start:.3f} s)")
print(f"{'':44s} {'wall s':>8s} {'x cat':>8s}")
print(f"{'cat of the file':44s} {cat:8.3f} {1:8.2f}")
print(f"{'f.read()':44s} {read:8.3f} {read / cat:8.2f}")
print(f"{'numpy baseline (np.fromfile + statistics)':44s} {numpy:8.3f} {numpy / cat:8.2f}")
extra = (rss_read - rss_start) * 1024 - arrays
print(f"peak memory of the read beyond the start-up: {(rss_read - rss_start) / 1024:.1f} MiB, "
      f"arrays {arrays / 2**20:.1f} MiB, beyond the arrays {extra / 2**20:.1f} MiB")

cli1 = median([pektor_bin, "stats", "-q", "-j", "1", "-f", "csv", *many_files])
cli2 = median([pektor_bin, "stats", "-q", "-j", "2", "-f", "csv", *many_files])
py1 = median([py, "-c", STATS_J1]) - start
py2 = median([py, "-c", STATS_J2]) - start
print()
print(f"Python: pektor.stats over {len(many_files)} files against the command line, median of {runs} runs "
      "(Python net of its start-up)")
print(f"{'':44s} {'wall s':>8s} {'x CLI':>8s}")
for label, cli, p in (("jobs=1 / -j 1", cli1, py1), ("jobs=2 / -j 2", cli2, py2)):
    print(f"{'pektor stats ' + label.split(' / ')[1]:44s} {cli:8.3f} {1:8.2f}")
    print(f"{'pektor.stats(' + label.split(' / ')[0] + ')':44s} {p:8.3f} {p / cli:8.2f}")

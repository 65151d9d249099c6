#!/usr/bin/env python3
"""Times the pektor operations against a plain read of the same file.

Usage: measure.py PEKTOR DYNGEN WORKDIR RUNS STEPS[,STEPS...]

For each step count a dyn file of 200 DynRes is written by dyngen (kept in
WORKDIR for later runs). Each run (a plain read with cat, operations 1 to 5)
is repeated RUNS times, interleaved; the table shows the median wall time
and its ratio to the median of cat on the same file in the same run, the
same for the CPU time (user + system; steadier than the wall time on a
shared machine), and the peak resident memory of the child (/usr/bin/time).
pektor runs with its default work array.

The last column separates the cost that grows with the file from the fixed
cost of starting a process: every run is also timed on a file of 10 steps
(cat of it, and each operation on it), and the column gives
(wall - wall on 10 steps) / (cat - cat of 10 steps). The column before it
gives the same cost per MiB of file, (wall - wall on 10 steps) / MiB: the
figure that shows whether a run's cost is linear in the file. (A plain read
of a file small enough for the processor's cache costs less per MiB than one
of a large file, so the ratio to cat of a small file is higher even where
the cost per MiB of pektor is the same.)
"""
import os
import statistics
import subprocess
import sys
import time

pektor, dyngen, work, runs, steps_list = sys.argv[1:6]
runs = int(runs)
dynres = int(os.environ.get("DYNRES", "200"))
os.makedirs(work, exist_ok=True)


def run(cmd, stdin_text=None, cwd=None):
    """Wall time (s), CPU time (s, user + system) and peak RSS (KiB) of one run.

    The child runs under /usr/bin/time, whose report gives the peak RSS of
    the program itself (a forked Python child would count Python's pages);
    the CPU time is that of /usr/bin/time and the program it waited for.
    """
    rss_file = os.path.join(work, "rss.txt")
    t0 = time.perf_counter()
    p = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss_file] + cmd,
                         stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, cwd=cwd)
    p.stdin.write((stdin_text or "").encode())
    p.stdin.close()
    _, status, ru = os.wait4(p.pid, 0)
    wall = time.perf_counter() - t0
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        sys.exit(f"failed ({p.returncode}): {' '.join(cmd)} in {cwd}")
    with open(rss_file) as f:
        return wall, ru.ru_utime + ru.ru_stime, int(f.read().split()[-1])


combo = "1\n6\n1 2 3 4 5 6\n1 0 0\n0 1 0\n0 0 1\n1\nFx plus Mx\n1 0 0 1 0 0\n"

rows = []
fixed = {}  # median wall time of each run on a file of 10 steps
for steps in [10] + [int(s) for s in steps_list.split(",")]:
    d = os.path.join(work, f"s{steps}")
    os.makedirs(d, exist_ok=True)
    f = "bench.dyn"
    path = os.path.join(d, f)
    if not os.path.exists(path):
        subprocess.run([dyngen, "--dynres", str(dynres), "--steps", str(steps), "-o", path],
                       check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(d, "combo.txt"), "w") as c:
        c.write(combo)
    if not os.path.exists(os.path.join(d, "second.dyn")):
        os.link(path, os.path.join(d, "second.dyn"))
    mid = (dynres + 1) // 2
    cases = [
        ("read", "plain read (cat)", ["cat", path], None),
        ("op1", "op 1, one DynRes", [pektor], f"1\n1\n{f}\nout1.txt\n\n{mid}\n\n"),
        ("op2", "op 2, one DynRes of two files", [pektor],
         f"2\n1\n{f}\nsecond.dyn\nout2.txt\n\n{mid}\n\n"),
        ("op3", "op 3, ALL", [pektor], f"3\n{f}\nout3.txt\n\nall\n"),
        ("op3one", "op 3, one DynRes", [pektor], f"3\n{f}\nout3b.txt\n\n{mid}\n\n"),
        ("op4", "op 4, 6 DynRes, 1 component", [pektor], f"4\n{f}\nout4.txt\n\ncombo.txt\n"),
        ("op5", "op 5, 2 DynRes", [pektor], f"5\n{f}\nout5.txt\n\n1\n2\n"),
    ]
    subprocess.run(["cat", path], stdout=subprocess.DEVNULL, check=True)  # warm the cache
    times = {k: [] for k, *_ in cases}
    cpus = {k: [] for k, *_ in cases}
    rss = {k: 0 for k, *_ in cases}
    for _ in range(runs):
        for key, _, cmd, answers in cases:
            w, c, r = run(cmd, answers, cwd=d)
            times[key].append(w)
            cpus[key].append(c)
            rss[key] = max(rss[key], r)
    if steps == 10:
        fixed = {key: statistics.median(times[key]) for key in times}
    base = statistics.median(times["read"])
    cbase = max(statistics.median(cpus["read"]), 1e-3)
    net_base = base - fixed["read"]
    size = os.path.getsize(path)
    for key, label, *_ in cases:
        m = statistics.median(times[key])
        c = statistics.median(cpus[key])
        net = (m - fixed[key]) / net_base if steps > 10 and net_base > 0 else None
        per_mib = (m - fixed[key]) * 1000 / (size / 2**20) if steps > 10 else None
        rows.append((steps, size, label, m, m / base, c, c / cbase, rss[key] / 1024, per_mib,
                     net))

print(f"{dynres} DynRes; median of {runs} runs; page cache warm; "
      f"{os.cpu_count()} cores; pektor with its default work array")
print("| steps | file MiB | run | wall s | x cat | CPU s | CPU x cat | peak RSS MiB "
      "| ms/MiB net of start-up | x cat net of start-up |")
print("|---:|---:|---|---:|---:|---:|---:|---:|---:|---:|")
for steps, size, label, m, ratio, c, cratio, r, per_mib, net in rows:
    per_mib_text = "-" if per_mib is None else f"{per_mib:.3f}"
    net_text = "-" if net is None else f"{net:.2f}"
    print(f"| {steps:,} | {size / 2**20:.2f} | {label} | {m:.4f} | {ratio:.2f} | {c:.4f} "
          f"| {cratio:.2f} | {r:.1f} | {per_mib_text} | {net_text} |")

"""Reading one section of 1,000,000 rows x 8 channels (mode One, about
100 MB, in the page cache): qtx against pandas.read_csv and numpy.loadtxt on
the same file in the same process, medians of 5 interleaved runs, with every
value compared bit for bit. Then two threads reading two copies of the file
against one thread reading both; read(threads=N) against read(threads=1);
the peak memory of read(), read_array() and to_pandas() against the values
they return, each in a process of its own; and on a file of 20 times the
rows (about 2 GB), chunks() through the whole section and a range of 10,000
rows from its middle. A benchmark, not a test:

    env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE PYTHONPATH=build/python \\
        /usr/bin/python3 python/bench/bench_read.py

The file is the one of bench/data_bench.cpp: X as %.6f, Y with 7 significant
digits, half in %e form, uniform in -1000..1000.
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np
import pandas as pd

import qtx

ROWS, CHANNELS, RUNS = 1_000_000, 8, 5
BIG = 20  # the large file holds the rows of the first this many times
READ_CSV = "pandas.read_csv(sep='\\t', ...)"


def header(rows):
    return ("Quorset Measurement\t\nSeparator\tTab\nX_Columns\tOne\n***End_of_Header***\t\n\n"
            f"Channels\t{CHANNELS}\nSamples" + f"\t\t{rows}" * CHANNELS + "\t\n***End_of_Header***\t\n"
            "Time\t" + "".join(f"In{c}\t" for c in range(CHANNELS)) + "Comment\n")


def generate(path):
    rng = np.random.default_rng(42)
    columns = [np.arange(ROWS) * 0.001] + [rng.uniform(-1000.0, 1000.0, ROWS) for _ in range(CHANNELS)]
    with open(path, "w") as out:
        out.write(header(ROWS))
        np.savetxt(out, np.column_stack(columns), fmt=["%.6f"] + ["%.7g", "%.6e"] * (CHANNELS // 2), delimiter="\t")


def generate_big(path, small):
    """The rows of `small` BIG times over (X starts again each time)."""
    with open(small, "rb") as f:
        rows = f.read().split(b"Comment\n", 1)[1]
    with open(path, "wb") as out:
        out.write(header(ROWS * BIG).encode())
        for _ in range(BIG):
            out.write(rows)


# A process of its own that opens the file, runs a statement on its first
# section `s` that sets `values` to the bytes of the values it returns, and
# prints its peak RSS in kB before and after, and the seconds the statement
# took. The peak is the kernel's VmHWM, which starts afresh with the
# process; getrusage's ru_maxrss would start from this process's own.
CHILD = """
import sys, time
import numpy as np, pandas as pd
import qtx
def peak():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))
f = qtx.open(sys.argv[1])
s = f[0]
before = peak()
start = time.perf_counter()
exec(sys.argv[2])
spent = time.perf_counter() - start
print(before, peak(), values, spent)
"""


def child(path, statement):
    """(peak RSS before in MB, peak RSS after in MB, values in MB, seconds)."""
    out = subprocess.run([sys.executable, "-c", CHILD, path, statement], capture_output=True, text=True,
                         check=True).stdout.split()
    before, after, values, spent = int(out[0]), int(out[1]), int(out[2]), float(out[3])
    return before / 1024, after / 1024, values / 2**20, spent


def times_of(calls, runs=RUNS):
    """Seconds of each call in `runs` interleaved runs."""
    times = {name: [] for name in calls}
    for _ in range(runs):
        for name, call in calls.items():
            start = time.perf_counter()
            call()
            times[name].append(time.perf_counter() - start)
    return times


# Each reader returns what its call gives; `values` makes (X, Y) of it for
# the comparison, outside the time taken.
def qtx_read(path):
    with qtx.open(path) as f:
        return f.sections[0].read(threads=1)


def qtx_values(pairs):
    return pairs[0][0], np.column_stack([y for _, y in pairs])


def frame_values(frame):
    return frame.index.to_numpy(), frame.to_numpy()


def columns_values(values):
    values = np.asarray(values)
    return values[:, 0], values[:, 1:]


def read_csv(path, skip, precision):
    names = ["Time"] + [f"In{c}" for c in range(CHANNELS)]
    return pd.read_csv(path, sep="\t", skiprows=skip, header=None, names=names, float_precision=precision)


def same_bits(a, b):
    return np.array_equal(np.ascontiguousarray(a).view(np.uint64), np.ascontiguousarray(b).view(np.uint64))


def main():
    directory = tempfile.mkdtemp(prefix="qtx-bench-")
    try:
        path = os.path.join(directory, "large.qtx")
        generate(path)
        with qtx.open(path) as f:
            skip = f[0].data_line
        readers = {
            "qtx: open(...).sections[0].read(threads=1)": (lambda: qtx_read(path), qtx_values),
            "qtx: read_pandas(...), i.e. to_pandas() on all cores": (lambda: qtx.read_pandas(path), frame_values),
            READ_CSV: (lambda: read_csv(path, skip, None), columns_values),
            "pandas.read_csv(..., float_precision='round_trip')": (lambda: read_csv(path, skip, "round_trip"),
                                                                   columns_values),
            "numpy.loadtxt(delimiter='\\t')": (lambda: np.loadtxt(path, delimiter="\t", skiprows=skip), columns_values),
        }
        times = {name: [] for name in readers}
        differ = set()
        reference = qtx_values(qtx_read(path))
        for _ in range(RUNS):
            for name, (read, values) in readers.items():
                start = time.perf_counter()
                result = read()
                times[name].append(time.perf_counter() - start)
                x, Y = values(result)
                if not (same_bits(x, reference[0]) and same_bits(Y, reference[1])):
                    differ.add(name)
                del result, x, Y

        copy = os.path.join(directory, "copy.qtx")
        shutil.copyfile(path, copy)
        both, apart = [], []
        for _ in range(RUNS):
            start = time.perf_counter()
            threads = [threading.Thread(target=qtx_read, args=(p,)) for p in (path, copy)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            both.append(time.perf_counter() - start)
            start = time.perf_counter()
            qtx_read(path)
            qtx_read(copy)
            apart.append(time.perf_counter() - start)

        # The reads alone, of a file open and scanned.
        counts = sorted({1, 2, os.cpu_count() or 1, 2 * (os.cpu_count() or 1)})
        with qtx.open(path) as f:
            by_threads = times_of({n: (lambda n=n: f[0].read(threads=n)) for n in counts}, runs=3 * RUNS)
            if not all(same_bits(qtx_values(f[0].read(threads=n))[1], reference[1]) for n in counts):
                differ.add("threads")

        memory = {what: child(path, statement) for what, statement in [
            ("read()", "pairs = s.read(); values = pairs[0][0].nbytes + sum(y.nbytes for _, y in pairs)"),
            ("read_array()", "x, Y = s.read_array(); values = x.nbytes + Y.nbytes"),
            ("to_pandas()", "frame = s.to_pandas(); values = int(frame.memory_usage().sum())"),
        ]}

        big = os.path.join(directory, "big.qtx")
        generate_big(big, path)
        os.remove(copy)
        start = time.perf_counter()
        with qtx.open(big) as f:
            scan = time.perf_counter() - start
            middle = slice(ROWS * BIG // 2, ROWS * BIG // 2 + 10_000)
            ranged = statistics.median(times_of({"range": lambda: f[0].to_pandas(rows=middle)})["range"])
            got = f[0].read_array(rows=middle)[1]
        if not same_bits(got, reference[1][:10_000]):
            differ.add("range")
        chunks = child(big, "for frame in s.chunks(1_000_000): values = int(frame.memory_usage().sum())")
        big_size = os.path.getsize(big)
    finally:
        shutil.rmtree(directory)

    baseline = statistics.median(times[READ_CSV])
    print(f"{ROWS:,} rows x {CHANNELS} channels, {os.cpu_count()} cores; medians of {RUNS}")
    print("| What | Seconds | Speed-up over read_csv | Values |")
    print("|---|---|---|---|")
    for name, spent in times.items():
        median = statistics.median(spent)
        same = "values differ from qtx's" if name in differ else "identical"
        print(f"| `{name}` | {median:.3f} | {baseline / median:.1f}x | {same} |")
    print(f"| two files, qtx read() in two threads vs one after the other | "
          f"{statistics.median(both):.3f} vs {statistics.median(apart):.3f} | "
          f"{statistics.median(apart) / statistics.median(both):.2f}x from the threads | |")
    print()
    same = "values differ" if "threads" in differ else "identical"
    # The medians, and the fastest runs: those that the machine's other work
    # disturbed least.
    print(f"| `section.read(threads=N)`, the file open, {3 * RUNS} runs | Median seconds | Speed-up | "
          "Fastest run | Speed-up | Values |")
    print("|---|---|---|---|---|---|")
    median_1, fastest_1 = statistics.median(by_threads[1]), min(by_threads[1])
    for n, spent in by_threads.items():
        median, fastest = statistics.median(spent), min(spent)
        print(f"| {n} | {median:.3f} | {median_1 / median:.2f}x | {fastest:.3f} | {fastest_1 / fastest:.2f}x | "
              f"{same} |")
    print()
    print("| Peak memory, a process of its own | Values returned (MB) | Peak RSS growth (MB) | Ratio | Seconds |")
    print("|---|---|---|---|---|")
    for what, (before, after, values, spent) in memory.items():
        print(f"| `{what}` | {values:.1f} | {after - before:.1f} | {(after - before) / values:.2f}x | {spent:.3f} |")
    print()
    before, after, values, spent = chunks
    same = "values differ" if "range" in differ else "identical"
    print(f"{ROWS * BIG:,} rows x {CHANNELS} channels, {big_size / 1e9:.2f} GB: scan (qtx.open) {scan:.2f} s; "
          f"`for frame in s.chunks(1_000_000)` {spent:.1f} s at a peak RSS of {after:.0f} MB "
          f"({before:.0f} MB before, a chunk {values:.0f} MB); "
          f"10,000 rows from the middle, `to_pandas(rows=...)`, {ranged * 1000:.1f} ms ({same})")


if __name__ == "__main__":
    main()

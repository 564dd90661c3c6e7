"""Reading one section of 1,000,000 rows x 8 channels (mode One, about
100 MB, in the page cache): qtx against pandas.read_csv and numpy.loadtxt on
the same file in the same process, medians of 5 interleaved runs, with every
value compared bit for bit. Then two threads reading two copies of the file
against one thread reading both. A benchmark, not a test:

    env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE PYTHONPATH=build/python \\
        /usr/bin/python3 python/bench/bench_read.py

The file is the one of bench/data_bench.cpp: X as %.6f, Y with 7 significant
digits, half in %e form, uniform in -1000..1000.
"""

import os
import shutil
import statistics
import sys
import tempfile
import threading
import time

import numpy as np
import pandas as pd

import qtx

ROWS, CHANNELS, RUNS = 1_000_000, 8, 5
READ_CSV = "pandas.read_csv(sep='\\t', ...)"


def generate(path):
    rng = np.random.default_rng(42)
    columns = [np.arange(ROWS) * 0.001] + [rng.uniform(-1000.0, 1000.0, ROWS) for _ in range(CHANNELS)]
    with open(path, "w") as out:
        out.write("Quorset Measurement\t\nSeparator\tTab\nX_Columns\tOne\n***End_of_Header***\t\n\n")
        out.write(f"Channels\t{CHANNELS}\nSamples" + f"\t\t{ROWS}" * CHANNELS + "\t\n***End_of_Header***\t\n")
        out.write("Time\t" + "".join(f"In{c}\t" for c in range(CHANNELS)) + "Comment\n")
        np.savetxt(out, np.column_stack(columns), fmt=["%.6f"] + ["%.7g", "%.6e"] * (CHANNELS // 2), delimiter="\t")


# Each reader returns what its call gives; `values` makes (X, Y) of it for
# the comparison, outside the time taken.
def qtx_read(path):
    with qtx.open(path) as f:
        return f.sections[0].read()


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
            "qtx: open(...).sections[0].read()": (lambda: qtx_read(path), qtx_values),
            "qtx: read_pandas(...), i.e. to_pandas()": (lambda: qtx.read_pandas(path), frame_values),
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


if __name__ == "__main__":
    main()

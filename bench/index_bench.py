#!/usr/bin/env python3
"""Opening a large QTX file with and without its index file.

Writes the file of view_bench.py (4 channels, X_Columns One, about 46 bytes a
row; --gb 2 gives the 2 GB file), then measures in fresh processes, with a
warm page cache:
- qtx.open with index="ignore" (the scan, as ReadQTXFile does it);
- qtx.open with index="write" on a file without index (the scan that writes
  the index);
- qtx.open through the index (bytes read from /proc/self/io rchar, and time).

    PYTHONPATH=build/python /usr/bin/python3 bench/index_bench.py --gb 2
"""
import argparse
import os
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from view_bench import write  # noqa: E402

CHILD = r"""
import sys, time
import qtx
def rchar():
    for line in open("/proc/self/io"):
        if line.startswith("rchar:"):
            return int(line.split()[1])
path, mode = sys.argv[1], sys.argv[2]
before = rchar()
t = time.perf_counter()
f = qtx.open(path, index=mode)
elapsed = time.perf_counter() - t
read = rchar() - before
print(elapsed, read, int(f.index_used), f[0].rows_in_file)
"""


def run(path, mode):
    out = subprocess.run([sys.executable, "-c", CHILD, path, mode], check=True, capture_output=True, text=True)
    elapsed, read, used, rows = out.stdout.split()
    return float(elapsed), int(read), used == "1", int(rows)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--gb", type=float, default=2.0)
    parser.add_argument("--dir", default="/tmp")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    path = os.path.join(args.dir, "index-bench-%.1fgb.qtx" % args.gb)
    index = path + ".qtxi"
    if not os.path.exists(path):
        write(path, int(args.gb * 1e9 / 46))
    size = os.path.getsize(path)
    try:
        run(path, "ignore")  # warms the page cache
        scans = [run(path, "ignore") for _ in range(args.repeat)]
        writes = []
        for _ in range(args.repeat):
            if os.path.exists(index):
                os.remove(index)
            writes.append(run(path, "write"))
        opens = [run(path, "auto") for _ in range(args.repeat)]
        assert all(o[2] for o in opens) and opens[0][3] == scans[0][3]
        print("file %s: %.2f GB, %d rows; index %d bytes" % (path, size / 1e9, scans[0][3], os.path.getsize(index)))
        for name, runs in (("scan (index=ignore)", scans), ("scan + write index", writes),
                           ("open through index", opens)):
            t = statistics.median(r[0] for r in runs)
            b = statistics.median(r[1] for r in runs)
            print("%-22s median %8.1f ms  read %12d bytes (%.3f%% of the file)" % (name, t * 1e3, b, 100.0 * b / size))
        # The index grows with the file (16 bytes of row mark per 64 KiB); the
        # rest (the headers' buffers, the hashed last 64 KiB) does not.
        b = statistics.median(r[1] for r in opens)
        grows = os.path.getsize(index)
        at50 = (b - grows) + grows * 50e9 / size
        print("at 50 GB, from the bytes: an open through the index reads about %.1f MB (%.3f%%)"
              % (at50 / 1e6, 100.0 * at50 / 50e9))
    finally:
        if not args.keep:
            for p in (path, index):
                if os.path.exists(p):
                    os.remove(p)


if __name__ == "__main__":
    main()

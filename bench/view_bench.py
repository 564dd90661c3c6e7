#!/usr/bin/python3
"""How fast qtx view answers on a large section: time to the first drawing and
of zoom and pan answers. A benchmark, not a test.

usage: view_bench.py QTX [--gb 2] [--dir /tmp] [--keep] [--stored]

Writes a file of X_Columns One with four channels (46 bytes a row, about
46.7 million rows for 2 GB) with numpy, starts `qtx view FILE --no-browser`,
and times over HTTP what the page asks for: the description, the whole
section on 1500 pixel columns, then views of 10% down to a few hundred rows
of the section at random places. The file is removed at the end unless
--keep. Numbers are from a warm page cache (the file was just written).

--stored first times `qtx index --summary FILE` twice: the first writes the
index and the stored summary (FILE.qtxs, every row read once), the second
finds both up to date (the headers, the index and FILE.qtxs read and
checked); the view then starts with both beside the file.
"""
import argparse
import json
import os
import random
import statistics
import subprocess
import sys
import time
import urllib.request

import numpy as np

WIDTH = 1500


def write(path, rows):
    head = ("Quorset Measurement\t\nX_Columns\tOne\n***End_of_Header***\t\n\nChannels\t4\t\t\t\t\n"
            "Samples" + "\t\t%d" % rows * 4 + "\t\nY_Dimension" + "\t\tVoltage" * 4 + "\t\n"
            "Y_Unit_Label" + "\t\tV" * 4 + "\t\nX_Dimension" + "\t\tTime" * 4 + "\t\nX_Unit_Label" + "\t\tms" * 4 +
            "\t\n***End_of_Header***\t\nTime\tA\tB\tC\tD\tComment\n")
    block = 1 << 20
    width = 10 + 4 * 9  # "%09d\t" then four "%+.5f" each followed by a tab or the newline
    with open(path, "wb") as f:
        f.write(head.encode())
        for start in range(0, rows, block):
            n = min(block, rows - start)
            r = np.arange(start, start + n, dtype=np.int64)
            line = np.empty((n, width), dtype=np.uint8)
            for k in range(9):
                line[:, 8 - k] = 48 + (r // 10 ** k) % 10
            line[:, 9] = 9
            for c in range(4):
                y = np.sin(r * (0.00001 * (c + 1)) + c) * (2 + c) + np.random.default_rng(start + c).normal(0, 0.05, n)
                if c == 0 and start <= rows // 3 < start + n:
                    y[rows // 3 - start] = 9.99999  # one spike
                v = np.minimum(np.round(np.abs(y) * 1e5).astype(np.int64), 999999)
                at = 10 + 9 * c
                line[:, at] = np.where(y < 0, ord("-"), ord("+"))
                line[:, at + 1] = 48 + v // 100000
                line[:, at + 2] = ord(".")
                for k in range(5):
                    line[:, at + 7 - k] = 48 + (v // 10 ** k) % 10
                line[:, at + 8] = 9 if c < 3 else 10
            f.write(line.tobytes())


def get(url):
    started = time.perf_counter()
    with urllib.request.urlopen(url, timeout=600) as r:
        body = r.read()
    return time.perf_counter() - started, body


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("qtx")
    parser.add_argument("--gb", type=float, default=2.0)
    parser.add_argument("--dir", default="/tmp")
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--stored", action="store_true")
    args = parser.parse_args()
    rows = int(args.gb * 1e9 / 46)
    path = os.path.join(args.dir, "view-bench-%d.qtx" % os.getpid())
    started = time.perf_counter()
    write(path, rows)
    print("wrote %s: %d rows, %.2f GB in %.1f s" % (path, rows, os.path.getsize(path) / 1e9,
                                                   time.perf_counter() - started))
    server = None
    try:
        if args.stored:
            for what in ["write", "up to date"]:
                started = time.perf_counter()
                out = subprocess.run([args.qtx, "index", "--summary", path], check=True, stdout=subprocess.PIPE,
                                     text=True).stdout
                print("qtx index --summary (%s): %.2f s: %s" % (what, time.perf_counter() - started,
                                                               " | ".join(out.split("\n")[:2])))
            print("stored summary: %.1f MB" % (os.path.getsize(path + ".qtxs") / 1e6))
        started = time.perf_counter()
        server = subprocess.Popen([args.qtx, "view", path, "--no-browser", "--port", "0"], stdout=subprocess.PIPE,
                                  text=True)
        url = server.stdout.readline().strip()
        ready = time.perf_counter() - started
        meta_time, _ = get(url + "meta")
        first_time, body = get(url + "data?section=0&w=%d" % WIDTH)
        first = json.loads(body)
        print("scan and summary until the address is printed: %.2f s" % ready)
        print("first answer (whole section, %d columns, from %s): %.1f ms, %d kB" %
              (WIDTH, first["channels"][0]["from"], first_time * 1e3, len(body) // 1024))
        print("time to the first drawing (start to first answer): %.2f s" % (ready + meta_time + first_time))
        print("summary: %d values, %.2f%% of the %d values of the section" %
              (first["summaryValues"], 100.0 * first["summaryValues"] / (rows * 5), rows * 5))
        low, high = first["xLow"], first["xHigh"]
        rng = random.Random(1)
        # A coarse answer (bins wider than a column) is followed by the page's
        # exact request for the same view: timed apart.
        print("%-12s %-14s %10s %8s %8s %16s" % ("view", "answered from", "rows", "median", "max", "exact: median"))
        for fraction in [1, 0.3, 0.1, 0.03, 0.01, 0.003, 0.001, 1e-4, 1e-5, 3e-6]:
            times, exact, sources = [], [], set()
            for _ in range(10):
                span = (high - low) * fraction
                x0 = low + rng.random() * (high - low - span)
                query = url + "data?section=0&w=%d&x0=%r&x1=%r" % (WIDTH, x0, x0 + span)
                took, body = get(query)
                answer = json.loads(body)["channels"][0]
                times.append(took * 1e3)
                sources.add("rows" if answer["raw"] else "coarse bins" if answer.get("coarse") else answer["from"])
                if answer.get("coarse"):
                    exact.append(get(query + "&exact=1")[0] * 1e3)
            print("%-12s %-14s %10d %6.1f ms %5.0f ms %13s" % (
                "%g" % fraction, "+".join(sorted(sources)), int(rows * fraction), statistics.median(times), max(times),
                "%.0f ms" % statistics.median(exact) if exact else "-"))
        # Statistics between two cursors: whole bins from the summary, the
        # rows of the edge bins and the cursors' bins read.
        print("%-12s %10s %8s %8s" % ("stats span", "rows", "median", "max"))
        for fraction in [1, 0.3, 0.01, 1e-4, 1e-6]:
            times = []
            for _ in range(10):
                span = (high - low) * fraction
                x0 = low + rng.random() * (high - low - span)
                took, body = get(url + "stats?section=0&x0=%r&x1=%r" % (x0, x0 + span))
                json.loads(body)
                times.append(took * 1e3)
            print("%-12s %10d %6.1f ms %5.0f ms" % ("%g" % fraction, int(rows * fraction), statistics.median(times),
                                                    max(times)))
    finally:
        if server:
            server.terminate()
            server.wait()
        if not args.keep:
            for name in [path, path + ".qtxi", path + ".qtxs"]:
                if os.path.exists(name):
                    os.remove(name)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""How far a follower stays behind a writer, and what a refresh costs.

A writer process appends the rows of an 8-channel recording at a steady rate
(100,000 rows a second by default) in pieces of random size, so that rows
are split across writes. It logs when each piece was written. Two followers
are measured, one at a time against a fresh writer:
- qtx.follow (its default poll of 0.5 s, and --poll);
- qtx dump --follow, reading its stdout as it comes.
The lag of a row is the time the follower had it minus the time the writer
had written its line end. Both clocks are CLOCK_MONOTONIC, which every
process of the machine shares.

Then the cost of one refresh against the size of the file: a follower opened
on a file of --big-rows rows, 1,000 rows appended, refresh timed and its
bytes read taken from /proc/self/io (rchar).

    PYTHONPATH=build/python /usr/bin/python3 bench/follow_bench.py build/tools/qtx
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
import pandas  # noqa: F401  imported before the clock runs, as a user's program has it

import qtx

WRITER = r"""
import random, sys, time
data = open(sys.argv[1], "rb").read()
path, start, rate, log = sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
rng = random.Random(11)
entries = []
with open(path, "ab", buffering=0) as out:
    t0 = time.monotonic()
    done = start
    while done < len(data):
        piece = rng.randint(1, 65536)
        out.write(data[done:done + piece])
        done = min(len(data), done + piece)
        entries.append("%r %d" % (time.monotonic(), done))
        # Paced: byte `done` is due at t0 + (done - start) / rate.
        wait = t0 + (done - start) / rate - time.monotonic()
        if wait > 0:
            time.sleep(wait)
open(log, "w").write("\n".join(entries) + "\n")
"""


def rchar():
    with open("/proc/self/io") as f:
        for line in f:
            if line.startswith("rchar:"):
                return int(line.split()[1])
    return 0


def recording(path, rows, channels=8):
    x = np.arange(rows) * 1e-5
    y = np.round(np.random.default_rng(3).normal(size=(rows, channels)), 4)
    qtx.write(path, x, y)


def row_ends(data, first):
    """The offset just after each row's line end, from the first row on."""
    ends = np.flatnonzero(np.frombuffer(data, dtype=np.uint8)[first:] == 10) + first + 1
    return ends


def start_writer(finished, growing, rows_per_second):
    data = open(finished, "rb").read()
    # The data begins after the headings line that follows the section
    # header's end line.
    header_end = data.index(b"***End_of_Header***", data.index(b"Channels"))
    first = data.index(b"\n", data.index(b"\n", header_end) + 1) + 1
    ends = row_ends(data, first)
    bytes_per_second = (len(data) - first) / (len(ends) / rows_per_second)
    with open(growing, "wb") as out:
        out.write(data[:first])
    log = growing + ".log"
    writer = subprocess.Popen([sys.executable, "-c", WRITER, finished, growing, str(first),
                               str(bytes_per_second), log])
    return writer, ends, log


def lags(log, ends, seen):
    """Per look of the follower, (time, rows it had then), the lag of the
    oldest row it had not had before: the longest any row waited."""
    entries = [line.split() for line in open(log).read().split("\n") if line]
    times = np.array([float(t) for t, _ in entries])
    offsets = np.array([int(o) for _, o in entries])
    out, had = [], 0
    for when, rows in seen:
        if rows > had:
            out.append(when - times[np.searchsorted(offsets, ends[had])])
            had = rows
    return out


def follow_python(finished, growing, rate, poll):
    writer, ends, log = start_writer(finished, growing, rate)
    seen, rows = [], 0
    try:
        for frame in qtx.follow(growing, poll=poll, timeout=10):
            rows += len(frame)
            seen.append((time.monotonic(), rows))
    finally:
        writer.wait(timeout=120)
    assert rows == len(ends), (rows, len(ends))
    return lags(log, ends, seen)


def follow_dump(tool, finished, growing, rate):
    writer, ends, log = start_writer(finished, growing, rate)
    dump = subprocess.Popen([tool, "dump", "--follow", growing], stdout=subprocess.PIPE)
    seen, lines = [], 0
    try:
        while True:
            chunk = os.read(dump.stdout.fileno(), 1 << 20)
            if not chunk:
                break
            lines += chunk.count(b"\n")
            seen.append((time.monotonic(), max(0, lines - 1)))  # the headings line first
    finally:
        dump.wait(timeout=120)
        writer.wait(timeout=120)
    assert lines - 1 == len(ends), (lines - 1, len(ends))
    return lags(log, ends, seen)


def refresh_cost(directory, rows):
    path = os.path.join(directory, "follow-bench-big.qtx")
    recording(path, rows + 1000)
    data = open(path, "rb").read()
    newlines = np.flatnonzero(np.frombuffer(data, dtype=np.uint8) == 10)
    cut = int(newlines[-1001]) + 1  # the last 1000 rows come later
    with open(path, "wb") as out:
        out.write(data[:cut])
    f = qtx.File(path, index="follow")
    with open(path, "ab") as out:
        out.write(data[cut:])
    before, t = rchar(), time.perf_counter()
    new = f.refresh()
    elapsed, read = time.perf_counter() - t, rchar() - before
    f.close()
    os.remove(path)
    return len(data), new, elapsed, read


def describe(name, values):
    values = sorted(values)
    print("%-34s median %6.0f ms  95%% %6.0f ms  max %6.0f ms  (%d looks)" % (
        name, 1e3 * statistics.median(values), 1e3 * values[int(0.95 * (len(values) - 1))], 1e3 * values[-1],
        len(values)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("--rate", type=float, default=100000, help="rows a second")
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--poll", type=float, default=0.1)
    parser.add_argument("--big-rows", type=int, default=10_000_000)
    parser.add_argument("--dir", default=tempfile.gettempdir())
    args = parser.parse_args()
    finished = os.path.join(args.dir, "follow-bench-finished.qtx")
    growing = os.path.join(args.dir, "follow-bench-growing.qtx")
    recording(finished, int(args.rate * args.seconds))
    print("writer: %d rows of 8 channels at %.0f rows/s, %.1f MB/s, pieces of 1 to 65536 bytes" % (
        args.rate * args.seconds, args.rate, os.path.getsize(finished) / args.seconds / 1e6))
    try:
        describe("qtx.follow, poll 0.5 s", follow_python(finished, growing, args.rate, 0.5))
        describe("qtx.follow, poll %.2f s" % args.poll, follow_python(finished, growing, args.rate, args.poll))
        describe("qtx dump --follow", follow_dump(args.tool, finished, growing, args.rate))
    finally:
        for p in (finished, growing, growing + ".log"):
            if os.path.exists(p):
                os.remove(p)
    for rows in (args.big_rows // 100, args.big_rows):
        size, new, elapsed, read = refresh_cost(args.dir, rows)
        print("refresh of a %7.1f MB file, 1000 rows new: %5.2f ms, %7d bytes read, new rows %s" % (
            size / 1e6, 1e3 * elapsed, read, list(new)))


if __name__ == "__main__":
    main()

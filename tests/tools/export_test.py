"""qtx export, cut and merge on files written here, read back with h5py
(HDF5 and MAT 7.3) and scipy.io.loadmat (MAT 5), every value compared bit
for bit.  export_test.py QTX SCRATCH_DIR"""
import math
import os
import subprocess
import sys

import h5py
import numpy as np
import scipy.io

QTX, SCRATCH = sys.argv[1], sys.argv[2]
os.makedirs(SCRATCH, exist_ok=True)
AWKWARD = [-0.0, 5e-324, 2.2250738585072009e-308, 1.7976931348623157e308, 0.1, 1 / 3, -1e-300, math.inf,
           -math.inf, math.nan, 123456.789, 7.0]
ROWS = len(AWKWARD)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("failed:", what, file=sys.stderr)


def bits(values):
    return np.ascontiguousarray(np.asarray(values, dtype=np.float64).ravel()).view(np.uint64)


def same(a, b):
    return bits(a).shape == bits(b).shape and (bits(a) == bits(b)).all()


def qtx(*args, code=0):
    run = subprocess.run([QTX, *args], capture_output=True, text=True)
    check(run.returncode == code, f"qtx {' '.join(args)}: exit {run.returncode}, {run.stderr.strip()}")
    return run


def write_qtx(name, mode, columns, samples, headings, x0=0.0, delta=1.0, time="03:04:05", x_unit="-", stamps=(),
              date="2030/01/02"):
    """A file of one section; columns are the row fields in the mode's order;
    stamps a Date and a Time per channel."""
    n = len(samples)
    lines = ["Quorset Measurement", f"X_Columns\t{mode}", "Description\tbench 3", f"Date\t\t{date}",
             f"Time\t\t{time}", "Time_Pref\tAbsolute", "***End_of_Header***", f"Channels\t{n}",
             "Samples\t\t" + "\t\t".join(map(str, samples)), "Y_Unit_Label\t\t" + "\t\t".join(["V"] * n),
             "X_Unit_Label\t\t" + "\t\t".join([x_unit] * n)]
    lines += [f"{key}\t\t" + "\t\t".join(texts) for key, texts in zip(["Date", "Time"], stamps)]
    lines += [f"X0\t\t" + "\t\t".join([repr(x0)] * n), "Delta_X\t\t" + "\t\t".join([repr(delta)] * n),
             "***End_of_Header***", "\t".join(headings) + "\tComment"]
    lines += ["\t".join(repr(float(v)) for v in row) for row in zip(*columns)]
    path = os.path.join(SCRATCH, name)
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return path


y1 = np.array(AWKWARD)
y2 = np.array(AWKWARD[::-1])
x = np.arange(ROWS) * 0.5
one = write_qtx("one.qtx", "One", [x, y1, y2], [ROWS, ROWS - 3], ["t", "U a/b", "U a/b"])
multi = write_qtx("multi.qtx", "Multi", [x, y1, x * 2, y2], [ROWS, ROWS], ["t1", "a", "t2", "b"])
no = write_qtx("no.qtx", "No", [y1, y2], [ROWS, ROWS], ["a", "b"], x0=1.5, delta=0.25)

# HDF5: shared X once, a heading that is no link name, a channel cut at its Samples.
out = os.path.join(SCRATCH, "one.h5")
qtx("export", one, out)
with h5py.File(out) as f:
    g = f["section_0"]
    check(f.attrs["description"] == b"bench 3" and f.attrs["time_pref"] == b"Absolute", "HDF5 metadata")
    check(sorted(g) == ["X", "channel_0", "channel_1"], f"HDF5 names {sorted(g)}")
    check(same(g["X"][()], x) and same(g["channel_0"][()], y1) and same(g["channel_1"][()], y2[:ROWS - 3]),
          "HDF5 values of mode One")
    check(g["channel_0"].attrs["heading"] == b"U a/b" and g["channel_0"].attrs["unit"] == b"V", "HDF5 labels")
    check(g["channel_0"].chunks is not None, "HDF5 chunked")
# --x and --channels by heading and index; mode Multi keeps an X per channel.
out = os.path.join(SCRATCH, "multi.h5")
qtx("export", multi, out, "--channels", "b,0")
with h5py.File(out) as f:
    g = f["section_0"]
    check(sorted(g) == ["a", "a_X", "b", "b_X"], f"HDF5 Multi names {sorted(g)}")
    check(same(g["b"][()], y2) and same(g["b_X"][()], x * 2) and same(g["a_X"][()], x), "HDF5 values of mode Multi")
out = os.path.join(SCRATCH, "no.h5")
qtx("export", no, out, "--x", "2:3.5")
with h5py.File(out) as f:
    g = f["section_0"]
    check(same(g["X"][()], 1.5 + np.arange(2, 9) * 0.25) and same(g["a"][()], y1[2:9]), "HDF5 --x in mode No")
    check(g.attrs["first_row"] == 2, "HDF5 first row")

# MAT 7.3 (HDF5 underneath: MATLAB keeps a column vector as one row) and MAT 5.
out = os.path.join(SCRATCH, "one.mat")
qtx("export", one, out)
with h5py.File(out) as f:
    s = f["section_0"]
    check(s.attrs["MATLAB_class"] == b"struct", "MAT 7.3 struct")
    check(same(s["X"][()], x) and same(s["U_a_b"][()], y1) and same(s["U_a_b_2"][()], y2[:ROWS - 3]),
          "MAT 7.3 values")
out = os.path.join(SCRATCH, "multi5.mat")
qtx("export", multi, out, "--mat-version", "5")
s = scipy.io.loadmat(out, simplify_cells=True)["section_0"]
check(same(s["a"], y1) and same(s["a_X"], x) and same(s["b"], y2) and same(s["b_X"], x * 2), "MAT 5 values")
check(s["info"]["date"] == "2030/01/02" and s["channels"][1]["heading"] == "b", "MAT 5 metadata")

# cut keeps every bit; in mode No past row 0 it carries X as a column.
cut = os.path.join(SCRATCH, "cut.qtx")
qtx("cut", no, "-o", cut, "--rows", "3:8", "--channels", "b")
out = os.path.join(SCRATCH, "cut.h5")
qtx("export", cut, out)
with h5py.File(out) as f:
    g = f["section_0"]
    check(f.attrs["x_columns"] == b"One" and f.attrs["description"] == b"bench 3", "cut header")
    check(same(g["X"][()], 1.5 + np.arange(3, 8) * 0.25) and same(g["b"][()], y2[3:8]), "cut values")
# merge: sections in order; --join the rows one after the other.
merged = os.path.join(SCRATCH, "merged.qtx")
qtx("merge", one, one, "-o", merged, "--join", code=2)  # channel 1 is short of the rows
qtx("merge", multi, multi, "-o", merged, "--join")
out = os.path.join(SCRATCH, "merged.h5")
qtx("export", merged, out)
with h5py.File(out) as f:
    check(same(f["section_0/a"][()], np.concatenate([y1, y1])), "merge --join values")
qtx("merge", one, multi, "-o", merged, code=2)
qtx("merge", one, one, "-o", merged)
qtx("export", merged, out, "--section", "1")
with h5py.File(out) as f:
    check(list(f) == ["section_1"] and same(f["section_1/channel_1"][()], y2[:ROWS - 3]), "merge sections")

# On the clock: dump --time absolute, convert, dump gives the same times to
# the nanosecond and the same values. A 1 ms grid over three days (X in ms)
# from a start with fractional seconds; channels apart in mode Multi.
def clock_dump(path, mode):
    rows = [line.split(",") for line in qtx("dump", path, "--time", "absolute").stdout.splitlines()[1:]]
    is_time = [c == 0 or (mode == "multi" and c % 2 == 0) for c in range(len(rows[0]))]
    return [np.array([r[c] for r in rows if r[c]], dtype="datetime64[ns]" if is_time[c] else float)
            for c in range(len(rows[0]))]


k = np.array([0, 1, 2, 86_400_000 + 7, 259_200_123, 259_200_124])
ms_grid = write_qtx("ms.qtx", "One", [k, k * 0.5, k * 0.25], [6, 6], ["t", "a", "b"], delta=1.0,
                    time="23:59:59.123456789", x_unit="ms")
apart = write_qtx("apart.qtx", "Multi", [x, y1, x, y2], [ROWS, ROWS], ["t1", "a", "t2", "b"], delta=0.5,
                  x_unit="s", stamps=[("2030/01/02", "2030/01/02"), ("10:00:00.5", "10:00:01")])
for path, mode in [(ms_grid, "one"), (apart, "multi")]:
    back = os.path.join(SCRATCH, "back-" + os.path.basename(path))
    with open(back + ".csv", "w") as f:
        f.write(qtx("dump", path, "--time", "absolute").stdout)
    qtx("convert", back + ".csv", back, "--mode", mode)
    before, after = clock_dump(path, mode), clock_dump(back, mode)
    check(len(before) == len(after) and all(
        (a == b).all() if a.dtype.kind == "M" else same(a, b) for a, b in zip(before, after)),
        f"{mode}: the clock's round trip\n{before}\n{after}")
check(clock_dump(ms_grid, "one")[0][4] == np.datetime64("2030-01-05T23:59:59.246456789"), "ms grid on the clock")

# start_time and x_seconds (MAT also start_datenum) per section and channel,
# absent where the file has none; a section's only where its channels agree.
nostart = write_qtx("nostart.qtx", "One", [x, y1], [ROWS], ["t", "a"], time="", x_unit="s")
day = (np.datetime64("2030-01-02T23:59:59.123456789") - np.datetime64("1970-01-01")) / np.timedelta64(1, "D")
MS = {"start_time": "2030-01-02T23:59:59.123456789", "x_seconds": 0.001, "start_datenum": 719529 + day}
APART = [{"start_time": t, "x_seconds": 1.0, "start_datenum": 719529 + d}
         for t, d in [("2030-01-02T10:00:00.5", 21916 + 36000.5 / 86400), ("2030-01-02T10:00:01", 21916 + 36001 / 86400)]]
cases = [(ms_grid, MS, [MS, MS]), (apart, {"x_seconds": 1.0}, APART), (one, {"start_time": "2030-01-02T03:04:05", "start_datenum": 719529 + 21916 + 11045 / 86400}, None),
         (nostart, {"x_seconds": 1.0}, [{"x_seconds": 1.0}])]


def same_clock(got, want, what):
    ok = sorted(got) == sorted(want) and all(
        got[k] == want[k] if isinstance(want[k], str) else abs(got[k] - want[k]) < 3e-10 for k in want)
    check(ok, f"{what}: {got} for {want}")


for path, section, channels in cases:
    channels = channels or [dict(section), dict(section)]
    name = os.path.splitext(path)[0]
    qtx("export", path, name + ".h5")
    with h5py.File(name + ".h5") as f:
        keys = ("start_time", "x_seconds")
        attrs = lambda o: {k: (o.attrs[k].decode() if k == "start_time" else o.attrs[k]) for k in keys if k in o.attrs}
        g = f["section_0"]
        same_clock(attrs(g), {k: v for k, v in section.items() if k in keys}, f"HDF5 section of {path}")
        ys = sorted((g[n].attrs["index"], n) for n in g if "index" in g[n].attrs)
        for (_, n), want in zip(ys, channels):
            same_clock(attrs(g[n]), {k: v for k, v in want.items() if k in keys}, f"HDF5 {n} of {path}")
    for version in ["7.3", "5"]:
        qtx("export", path, name + ".mat", "--mat-version", version)
        if version == "5":
            s = scipy.io.loadmat(name + ".mat", simplify_cells=True)["section_0"]
            info, chans = s["info"], s["channels"]
            chans = chans if isinstance(chans, list) else [chans]
        else:
            with h5py.File(name + ".mat") as f:
                def field(d):
                    if d.attrs.get("MATLAB_empty"):
                        return ""
                    return "".join(map(chr, d[()].ravel())) if d.attrs["MATLAB_class"] == b"char" else d[()].ravel()
                info = {k: field(v) for k, v in f["section_0/info"].items()}
                c = f["section_0/channels"]
                chans = ([{k: field(f[c[k][i, 0]]) for k in c} for i in range(c["field"].shape[0])]
                         if c["field"].dtype == object else [{k: field(v) for k, v in c.items()}])  # 1-by-1: no refs
        def clock(d):  # the fields on the calendar, the empty ones left out
            return {k: v if isinstance(v, str) else float(np.ravel(v)[0])
                    for k, v in d.items() if k in MS and (v if isinstance(v, str) else np.size(v))}
        same_clock(clock(info), section, f"MAT {version} section of {path}")
        for k, want in enumerate(channels):
            same_clock(clock(chans[k]), want, f"MAT {version} channel {k} of {path}")

# cut --time: rows 1 to 4 by their own times (both ends in), on the same clock afterwards.
times = clock_dump(ms_grid, "one")
cut_times = os.path.join(SCRATCH, "cut-times.qtx")
qtx("cut", ms_grid, "-o", cut_times, "--time", f"{times[0][1]}/{times[0][4]}")
check(all((a == b[1:5]).all() for a, b in zip(clock_dump(cut_times, "one"), times)), "cut --time rows and clock")
qtx("cut", ms_grid, "-o", cut_times, "--time", f"{times[0][4] + np.timedelta64(1, 'ns')}/")
check(all((a == b[5:]).all() for a, b in zip(clock_dump(cut_times, "one"), times)), "cut --time FROM/")

# dump --tz: the file's clock as local time in a zone, with its offset. In
# Berlin 2024-03-31T02:00 is skipped and 2024-10-27T02:30 comes twice.
dst = write_qtx("dst.qtx", "One", [[0, 30, 90, 302_460], [1, 2, 3, 4]], [4], ["t", "a"], time="01:30:00",
                x_unit="min", date="2024/03/31")
BERLIN = ["--time", "absolute", "--tz", "Europe/Berlin"]
for args, want in [
        (BERLIN + ["--tz-nonexistent", "shift_forward", "--tz-ambiguous", "earliest"],
         ["2024-03-31T01:30:00+01:00", "2024-03-31T03:00:00+02:00", "2024-03-31T03:00:00+02:00",
          "2024-10-27T02:30:00+02:00"]),
        (BERLIN + ["--tz-nonexistent", "shift_backward", "--tz-ambiguous", "latest"],
         ["2024-03-31T01:30:00+01:00", "2024-03-31T01:59:59.999999999+01:00", "2024-03-31T03:00:00+02:00",
          "2024-10-27T02:30:00+01:00"]),
        (["--time", "absolute", "--tz", "America/New_York"],
         ["2024-03-31T01:30:00-04:00", "2024-03-31T02:00:00-04:00", "2024-03-31T03:00:00-04:00",
          "2024-10-27T02:30:00-04:00"]),
        (BERLIN, "2024-03-31T02:00:00 does not exist in Europe/Berlin, as the clock skips it"),
        (BERLIN + ["--tz-nonexistent", "shift_forward"], "2024-10-27T02:30:00 is twice in Europe/Berlin"),
        (["--tz", "UTC"], "--tz goes with --time absolute"),
        (["--time", "absolute", "--tz", "../tmp/x"], "is no zone name"),
        (["--time", "absolute", "--tz", "Nowhere/City"], "no time zone Nowhere/City")]:
    run = qtx("dump", dst, *args, code=0 if isinstance(want, list) else 2)
    got = [line.split(",")[0] for line in run.stdout.splitlines()[1:]] if isinstance(want, list) else run.stderr
    check(got == want if isinstance(want, list) else want in got and got.count("\n") <= 2, f"dump {args}: {got}")

# A column that mixes times and numbers, or times that go back: one line, no file.
bad_times = []
for name, text in [("mixed", "t,A\n2030-01-02T00:00:00,1\n0.5,2\n"), ("number_first", "t,A\n0.5,1\n2030-01-02,2\n"),
                   ("back", "t,A\n2030-01-02T00:00:01,1\n2030-01-02T00:00:00,2\n")]:
    with open(os.path.join(SCRATCH, name + ".csv"), "w") as f:
        f.write(text)
    bad_times.append(((["convert", os.path.join(SCRATCH, name + ".csv"), os.path.join(SCRATCH, name + ".qtx")]),
                      {"mixed": "is no ISO 8601 time", "number_first": "is a time, but", "back": "must not go back"}[name]))

# Bad arguments: one line each, and nothing written.
for args, message in [(["export", one, os.path.join(SCRATCH, "x.csv")], "OUT must end in .h5"),
                      (["export", one, out, "--channels", "Q"], "has no channel headed 'Q'"),
                      (["export", one, out, "--channels", "U a/b"], "has 2 channels headed 'U a/b'"),
                      (["export", multi, out, "--x", "0:1"], "needs an X that the channels share"),
                      (["export", one, out, "--x", "2:1"], "ends before it begins"),
                      (["cut", one, "-o", cut], "give one of --x"),
                      (["cut", apart, "-o", cut, "--time", "/"], "start at different times"),
                      (["cut", one, "-o", cut, "--time", "2030-01-01/"], "no unit of time"),
                      (["cut", ms_grid, "-o", cut, "--time", "2031-01-01/"], "chooses no row"),
                      (["cut", ms_grid, "-o", cut, "--time", "2031-01-01"], "needs FROM/TO"),
                      (["dump", one, "--channel", "0", "--channel", "1"], "given twice")] + bad_times:
    run = qtx(*args, code=2)
    check(message in run.stderr and run.stderr.startswith("qtx") and run.stderr.count("\n") <= 2,
          f"{args}: {run.stderr!r}")
    check(args[0] != "convert" or not os.path.exists(args[2]), f"{args}: an output file left behind")
sys.exit(1 if failures else 0)

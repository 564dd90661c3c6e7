import errno
import gc
import os
import shutil
import subprocess
import resource
import threading
import time
import warnings
from pathlib import Path

import numpy as np
import pytest

import qtx

SAMPLE = Path(__file__).resolve().parents[2] / "examples" / "sample.qtx"
# Values that only a shortest round-trip text and an exact reader keep.
AWKWARD = [-0.0, 5e-324, 2.2250738585072009e-308, 1.7976931348623157e308, 0.1, 1 / 3, -1e-300, np.inf, 123456.789]


def bits(values):
    return np.ascontiguousarray(values, dtype=np.float64).view(np.uint64)


def text_file(directory, text):
    path = directory / "t.qtx"
    path.write_text(text)
    return path


@pytest.mark.parametrize("mode", qtx.MODES)
def test_round_trip_keeps_every_bit_and_label(tmp_path, mode):
    Y = np.column_stack([AWKWARD, AWKWARD[::-1]])
    x = {"no": None, "one": np.array(AWKWARD), "multi": np.column_stack([AWKWARD, np.arange(9) * 0.5])}[mode]
    grid = {"x0": 1.5, "delta_x": 0.25} if mode == "no" else {}
    qtx.write(tmp_path / "t.qtx", x, Y, mode=mode, headings=["Spannung U", "Ström"], y_units=["V", "A"],
              x_heading=["t", "T"] if mode == "multi" else "t", **grid)
    with qtx.open(tmp_path / "t.qtx") as f:
        assert f.settings.x_columns == mode and len(f) == 1
        section = f[0]
        assert section.n_rows == 9 and section.data_line == 24
        labels = [(c.y_heading, c.y_unit, c.samples) for c in section.channels]
        assert labels == [("Spannung U", "V", 9), ("Ström", "A", 9)]
        x_back, Y_back = section.read_array()
        assert (bits(Y_back) == bits(Y)).all()
        expected_x = 1.5 + np.arange(9) * 0.25 if mode == "no" else x
        assert (bits(x_back) == bits(np.broadcast_to(expected_x.T, x_back.T.shape).T)).all()
        frame = section.to_pandas()
        if mode == "multi":
            assert list(frame.columns) == [("Spannung U", "x"), ("Spannung U", "y"), ("Ström", "x"), ("Ström", "y")]
        else:
            assert list(frame.columns) == ["Spannung U", "Ström"]
            assert frame.index.name == ("t" if mode == "one" else "X_Value")
            assert (bits(frame.index) == bits(expected_x)).all()


@pytest.mark.parametrize("mode", qtx.MODES)
def test_metadata_and_units_survive_read_pandas_then_write_pandas(tmp_path, mode):
    x = {"no": None, "one": np.arange(3.0), "multi": np.column_stack([np.arange(3.0), np.arange(3.0) * 2])}[mode]
    grid = {"x0": 1.5, "delta_x": 0.25} if mode == "no" else {}
    with qtx.Writer(tmp_path / "a.qtx", mode, description="Bench 4, cold", date="2031/12/24", time="23:59:58",
                    time_pref="Absolute") as writer:
        writer.write_section(x, [[1, np.nan], [2, -np.inf], [3, 4]], headings=["U", "I"], y_units=["V", "A"],
                             x_unit="s", times=["23:59:58", "00:00:01"], **grid)
    with qtx.open(tmp_path / "a.qtx") as f:
        assert (f.description, f.date, f.time, f.settings.time_pref) == ("Bench 4, cold", "2031/12/24",
                                                                         "23:59:58", "Absolute")
        assert [(c.date, c.time) for c in f[0].channels] == [("2031/12/24", "23:59:58"), ("2031/12/24", "00:00:01")]
    frame = qtx.read_pandas(tmp_path / "a.qtx")
    assert frame.attrs["y_units"] == ["V", "A"] and frame.attrs["description"] == "Bench 4, cold"
    qtx.write_pandas(tmp_path / "b.qtx", frame)
    again = qtx.read_pandas(tmp_path / "b.qtx")
    assert again.attrs == frame.attrs and list(again.columns) == list(frame.columns)
    assert (bits(again.to_numpy()) == bits(frame.to_numpy())).all()
    assert (bits(again.index) == bits(frame.index)).all()
    with pytest.raises(ValueError, match="tab"):
        qtx.Writer(tmp_path / "c.qtx", description="a\tb")


def test_writer_writes_sections_that_read_back(tmp_path):
    with qtx.Writer(tmp_path / "two.qtx", mode="one") as writer:
        writer.write_section([0, 1], [[1, 2], [3, 4]], headings=["a", "b"])
        writer.write_section(np.arange(3.0), [5, 6, 7], headings="c")
    assert qtx.read_pandas(tmp_path / "two.qtx", section=1)["c"].tolist() == [5, 6, 7]
    assert qtx.read_pandas(tmp_path / "two.qtx").to_dict("list") == {"a": [1, 3], "b": [2, 4]}
    # In pieces, checked against the rows declared.
    with qtx.Writer(tmp_path / "pieces.qtx", mode="multi") as writer:
        writer.begin_section(5, headings=["a", "b"])
        for start in (0, 2, 4):
            writer.write_rows(np.arange(start, min(start + 2, 5)), np.ones((min(2, 5 - start), 2)) * start)
        with pytest.raises(ValueError, match="declares 5 rows; 5 are written and 1 more"):
            writer.write_rows([9.0], [[9.0, 9.0]])
        writer.begin_section(0, headings="c")
    with qtx.open(tmp_path / "pieces.qtx") as f:
        assert [(s.n_rows, s.rows_in_file) for s in f] == [(5, 5), (0, 0)]
        assert f[0].to_pandas().to_numpy().tolist() == [[0, 0, 0, 0], [1, 0, 1, 0], [2, 2, 2, 2], [3, 2, 3, 2],
                                                        [4, 4, 4, 4]]
    # A short section, bad labels and a Y of the wrong shape: each said at once, by name; the file stays.
    writer = qtx.Writer(tmp_path / "pieces.qtx")
    for labels, message in [(dict(headings=["a", "b "]), r"headings\[1\] 'b '"), (dict(headings=""), "headings"),
                            (dict(headings=["a", "b"], y_units=["V\t", "A"]), r"y_units\[0\]")]:
        with pytest.raises(ValueError, match=message):
            writer.begin_section(3, **labels)
    writer.begin_section(3, headings=["a", "b"])
    with pytest.raises(ValueError, match=r"Y of shape \(3,\) has 1 channels where section 0 has 2"):
        writer.write_rows([0, 1, 2], [1, 2, 3])
    writer.write_rows([0.5], [[7.0, 8.0]])
    with pytest.raises(ValueError, match="section 0 declares 3 rows; only 1 were written"):
        writer.close()
    assert qtx.read_pandas(tmp_path / "pieces.qtx", section=1).empty and len(list(tmp_path.iterdir())) == 2


@pytest.mark.parametrize("label", [{"headings": [""]}, {"headings": ["a\tb"]}, {"y_units": "a\nb"},
                                   {"x_heading": "t\r"}, {"y_dimensions": ["V "]}])
def test_labels_that_would_not_read_back_are_refused_before_writing(tmp_path, label):
    with pytest.raises(ValueError, match="would not read back"):
        qtx.write(tmp_path / "t.qtx", [0.0], [1.0], **label)
    assert not (tmp_path / "t.qtx").exists()


def test_read_hands_over_arrays_that_later_reads_leave_alone():
    f = qtx.open(SAMPLE)
    (x, y), (x1, _) = f[0].read()
    # One X for the channels that share it, read-only; copy gives each its own.
    assert np.shares_memory(x, x1) and not x.flags.writeable
    assert f[0].read(0, copy=True)[0].flags.writeable
    f[0].read()[0][1][:] = -1
    x2, Y2 = f[0].read_array()
    assert Y2.shape == (3, 2) and x2.shape == (3,)
    f.close()
    del f
    gc.collect()
    assert y.tolist() == [0.5, 0.6, 0.7] and x.tolist() == [0, 0.001, 0.002]


ROWS, HELD, SHORT = 40000, 33000, 15000  # written, left after the cut, Samples of channel b


def short_file(directory, mode):
    """A file whose channel b declares SHORT rows, cut after HELD of its ROWS
    rows, and the values the reads must give of it: (x, Y), x (rows) where
    the channels share it, else (rows, channels); NaN past b's Samples."""
    rng = np.random.default_rng(len(mode))
    Y = rng.normal(size=(ROWS, 3)) * 10.0 ** rng.integers(-300, 300, size=(ROWS, 3))
    grid = {}
    if mode.startswith("no"):
        x = None
        grid = {"x0": [2.5, 2.5, 2.5 if mode == "no" else -1.0], "delta_x": 0.125}
        expected_x = np.column_stack([x0 + np.arange(ROWS) * 0.125 for x0 in grid["x0"]])
    else:
        x = np.cumsum(rng.uniform(size=ROWS)) if mode == "one" else rng.normal(size=(ROWS, 3))
        expected_x = x
    path = directory / f"{mode}.qtx"
    qtx.write(path, x, Y, mode=mode[:2] if mode.startswith("no") else mode, headings=["a", "b", "c"], **grid)
    head, rows = path.read_bytes().split(b"Comment\n")
    head = head.replace(b"Samples\t\t%d\t\t%d" % (ROWS, ROWS), b"Samples\t\t%d\t\t%d" % (ROWS, SHORT))
    path.write_bytes(head + b"Comment\n" + b"".join(rows.splitlines(keepends=True)[:HELD]))
    Y = Y[:HELD].copy()
    Y[SHORT:, 1] = np.nan
    expected_x = expected_x[:HELD].copy()
    if mode in ("one", "no"):
        expected_x = expected_x[:, 0] if expected_x.ndim == 2 else expected_x
    else:
        expected_x[SHORT:, 1] = np.nan
    return path, expected_x, Y


@pytest.mark.parametrize("mode", ["no", "no, other grids", "one", "multi"])
def test_row_ranges_give_the_rows_the_file_holds_bit_for_bit(tmp_path, mode):
    path, x, Y = short_file(tmp_path, mode)
    rng = np.random.default_rng(3)
    ranges = [(0, ROWS), (HELD - 5, HELD + 5), (SHORT - 1, SHORT + 20000)]
    ranges += [tuple(sorted(rng.integers(0, ROWS + 10, size=2))) for _ in range(12)]
    with qtx.open(path) as f:
        section = f[0]
        assert (section.n_rows, section.rows_in_file) == (ROWS, HELD)
        for (lo, hi), threads in zip(ranges, [1, 2, 3, None] * 4):
            with warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                got_x, got_Y = section.read_array(rows=slice(lo, hi), threads=threads)
                frame = section.to_pandas(rows=range(lo, hi), threads=threads)
                pairs = section.read(rows=slice(lo, hi), threads=threads)
            assert [w.category for w in caught] == [qtx.ShortSectionWarning] * 3 * int(hi > HELD)
            assert (bits(got_Y) == bits(Y[lo:hi])).all() and (bits(got_x) == bits(x[lo:hi])).all()
            if x.ndim == 1:
                assert (bits(frame.to_numpy()) == bits(Y[lo:hi])).all() and (bits(frame.index) == bits(x[lo:hi])).all()
            else:  # each channel's X and Y, the rows labelled by their numbers
                expected = np.stack([x[lo:hi], Y[lo:hi]], axis=2).reshape(-1, 6)
                assert (bits(frame.to_numpy()) == bits(expected)).all()
                assert list(frame.index) == list(range(lo, min(hi, HELD)))
            for j, (px, py) in enumerate(pairs):
                end = min(hi, HELD, SHORT if j == 1 else ROWS)
                column = x if x.ndim == 1 else x[:, j]
                assert (bits(py) == bits(Y[lo:end, j])).all() and (bits(px) == bits(column[lo:end])).all()
        with pytest.warns(qtx.ShortSectionWarning, match=f"declares {ROWS} rows; the file holds {HELD}"):
            whole = section.to_pandas(["c", "b"], threads=1)
            chunks = list(section.chunks(7000, channels=["c", "b"]))
        assert [len(c) for c in chunks] == [7000] * 4 + [5000]
        import pandas as pd
        assert (bits(pd.concat(chunks).to_numpy()) == bits(whole.to_numpy())).all()
        assert pd.concat(chunks).index.equals(whole.index)
        for bad, error in [(slice(0, 9, 2), ValueError), ([1, 2], TypeError)]:
            with pytest.raises(error):
                section.read_array(rows=bad)
        # Another file put in its place: the threads read the file held open.
        qtx.write(tmp_path / "other.qtx", np.arange(ROWS + 0.0), np.zeros((ROWS, 3)))
        os.replace(tmp_path / "other.qtx", path)
        with pytest.warns(qtx.ShortSectionWarning):
            assert (bits(section.read_array(threads=2)[1]) == bits(Y)).all()
        if x.ndim == 2:
            with pytest.raises(ValueError, match="share no X"):
                section.rows_between(0, 1)
            return
        step = x[1001] - x[1000]
        for lo, hi in [(x[0], x[-1]), (x[999], x[31000]), (x[1000] + step / 2, x[1001] + step / 2), (x[9], x[3]),
                       (x[-1] + 1, x[-1] + 2), (-np.inf, x[70000 // 3]), (np.nan, 1.0)]:
            expected = range(np.searchsorted(x, lo, "left"), np.searchsorted(x, hi, "right"))
            assert list(section.rows_between(lo, hi)) == list(expected)
    # Cut off in the middle of a row: that row is none; a row lacking a field has NaN for it.
    cut = text_file(tmp_path, "X_Columns\tOne\n***End_of_Header***\nChannels\t2\nSamples\t\t4\t\t4\n"
                              "***End_of_Header***\nt\ta\tb\n0\t1\t2\n1\t3\n2\t0.49")
    with qtx.open(cut) as f, pytest.warns(qtx.ShortSectionWarning, match="holds 2"):
        assert f[0].rows_in_file == 2 and np.isnan(f[0].to_pandas()["b"].iloc[1])
    # X that falls all along, or once between rows the lookup would not look at.
    a = np.arange(3000) * 1e-4
    for x in [np.arange(500.0, -500.0, -1.0), np.concatenate([a[:1000], a[2500:], a[1000:2500]])]:
        qtx.write(tmp_path / "down.qtx", x, x)
        with qtx.open(tmp_path / "down.qtx") as f, pytest.raises(ValueError, match="X decreases"):
            f[0].rows_between(0.26, 10)


def test_channels_by_index_and_heading_and_the_closed_file():
    with qtx.open(SAMPLE) as f:
        section = f[-1]
        assert [y.tolist() for _, y in section.read(["In2", 0])] == [[0.1, 0.2, 0.3], [0.5, 0.6, 0.7]]
        assert list(section.to_pandas(["In2"]).columns) == ["In2"]
        with pytest.raises(KeyError, match="In3"):
            section.read("In3")
        for bad in (lambda: section.read(2), lambda: f[1]):
            with pytest.raises(IndexError):
                bad()
    assert f.closed and section.channels[1].y_heading == "In2"
    for use in (section.read, section.read_array, section.to_pandas):
        with pytest.raises(ValueError, match="closed"):
            use()


def unreadable(directory):
    path = text_file(directory, "")
    path.chmod(0)
    return path


@pytest.mark.parametrize("make, error", [
    (lambda d: d / "missing.qtx", FileNotFoundError),
    (lambda d: d, IsADirectoryError),
    pytest.param(unreadable, PermissionError,
                 marks=pytest.mark.skipif(os.geteuid() == 0, reason="root reads anything")),
    (lambda d: text_file(d, "Writer_Version\t1\n"), qtx.FormatError),
    (lambda d: text_file(d, "***End_of_Header***\nChannels\t2147483647\n"), MemoryError),
    pytest.param(lambda d: Path(os.devnull), OSError, marks=pytest.mark.skipif(os.name == "nt", reason="POSIX device")),
])
def test_open_failures_raise_python_exceptions(tmp_path, make, error):
    path = make(tmp_path)
    with pytest.raises(error) as caught:
        qtx.open(path)
    if issubclass(error, OSError):
        assert caught.value.errno > 0 and caught.value.filename == str(path)
    if str(path) == os.devnull:  # refused before the scan, as the tool does
        assert caught.value.errno == errno.ESPIPE and "not a regular file" in str(caught.value)
    assert issubclass(qtx.FormatError, ValueError)


def test_read_and_write_failures_raise_python_exceptions(tmp_path):
    huge = "\t\t-1" * 8  # 4294967295 rows of 8 channels, and two rows
    with qtx.open(text_file(tmp_path, f"***End_of_Header***\nChannels\t8\nSamples{huge}\n***End_of_Header***\n"
                                      "h\n1\t2\n3\t4\n")) as f:
        grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        with pytest.warns(qtx.ShortSectionWarning, match="declares 4294967295 rows; the file holds 2"):
            x, Y = f[0].read_array()
        assert resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - grown < 10000  # kB
        assert Y.shape == (2, 8) and Y[:, :2].tolist() == [[1, 2], [3, 4]]
    with pytest.raises(FileNotFoundError):
        qtx.write(tmp_path / "no" / "t.qtx", [0.0], [1.0])
    if os.path.exists("/dev/full"):
        with pytest.raises(OSError) as caught:
            qtx.write("/dev/full", [0.0], [1.0])
        assert caught.value.errno == errno.ENOSPC


def test_resample_and_time_step():
    grid, values = qtx.resample([0, 1, 2, 4], [0, 10, 20, 0], 0, 0.5)
    assert grid.tolist() == [0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5] and values.tolist() == [0, 5, 10, 15, 20, 15, 10, 5]
    assert qtx.resample([0, 1], [0, 10], 5, 0.5)[1].size == 0
    assert qtx.estimate_time_step(np.arange(11.0)) == 10 / 11
    assert qtx.estimate_time_step([1.0]) is None and qtx.estimate_time_step([2.0, 1.0]) is None
    for start, step, message in [(0, 0, "above"), (np.nan, 1, "finite"), (1e20, 5000, "too small to move on")]:
        with pytest.raises(ValueError, match=message):
            qtx.resample([1e20, 1.0000000000000002e20], [0, 1], start, step)


def test_the_scan_lets_go_of_the_gil(tmp_path):
    # While another thread scans a file of many sections, this one keeps
    # running: its longest wait is a fraction of the scan. A scan holding the
    # GIL would stop it for the whole scan. (A FIFO, which would block the
    # scan for good, is refused before it is opened.)
    path = text_file(tmp_path, "X_Columns\tOne\n***End_of_Header***\n" +
                     "Channels\t1\nSamples\t1\n***End_of_Header***\nt\tA\n0\t1\n" * 20000)
    took = []

    def scan():
        start = time.perf_counter()
        qtx._qtx.ScannedFile(os.fsencode(path)).close()  # the native scan alone, no Python objects
        took.append(time.perf_counter() - start)

    thread = threading.Thread(target=scan)
    last, longest = time.perf_counter(), 0.0
    thread.start()
    while not took:
        now = time.perf_counter()
        longest, last = max(longest, now - last), now
    thread.join()
    assert longest < took[0] / 3, (longest, took[0])


def test_threads_read_at_once(tmp_path):
    Y = np.random.default_rng(7).normal(size=(50000, 3))
    for name in "ab":
        qtx.write(tmp_path / f"{name}.qtx", np.arange(50000.0), Y)
    files = [qtx.open(tmp_path / "a.qtx"), qtx.open(tmp_path / "b.qtx")]
    results = []
    threads = [threading.Thread(target=lambda f=f: results.extend(f[0].read_array()[1] for _ in range(4)))
               for f in files + files[:1]]  # two files, and one file from two threads
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len(results) == 12 and all((bits(r) == bits(Y)).all() for r in results)


def test_the_version_is_the_projects():
    version_file = Path(__file__).resolve().parents[2] / "VERSION"
    if not version_file.exists():
        pytest.skip("outside the source tree")
    assert qtx.__version__ == version_file.read_text().strip()


def test_the_module_exports_its_entry_point_alone():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("no nm")
    symbols = subprocess.run([nm, "-D", "--defined-only", qtx._qtx.__file__], capture_output=True, text=True,
                             check=True).stdout.split()
    assert symbols[2::3] == ["PyInit__qtx"]


def test_missing_headings_and_word_values_in_any_case(tmp_path):
    # Three channels, two headings: the third reads as the tool shows it.
    path = text_file(tmp_path, "X_Columns\tOne\n***End_of_Header***\nChannels\t3\nSamples\t\t1\t\t1\t\t1\n"
                               "***End_of_Header***\n\n0\t1\t2\t3\n")
    with qtx.open(path) as f:
        assert [(c.x_heading, c.y_heading) for c in f[0].channels] == [("X_Value", f"Y{i}") for i in (1, 2, 3)]
        assert list(f[0].to_pandas().columns) == ["Y1", "Y2", "Y3"]
    qtx.write(tmp_path / "w.qtx", [0.0], [1.0], mode="One")
    with qtx.Writer(tmp_path / "m.qtx", mode="MULTI") as writer:
        writer.write_section([0.0], [1.0])
    assert qtx.read_pandas(tmp_path / "w.qtx")["Y1"].tolist() == [1.0]

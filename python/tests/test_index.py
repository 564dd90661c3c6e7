"""The index file and following a growing file, through the Python package."""
import os
import random
import subprocess
import sys
import textwrap
import warnings

import numpy as np
import pytest

import qtx


def bits(values):
    return np.asarray(values, dtype=np.float64).view(np.uint64)


def recording(path, rows=2000, samples=None):
    x = np.arange(rows) * 0.001
    y = np.random.default_rng(1).normal(size=(rows, 3))
    qtx.write(path, x, y)
    if samples is not None:  # a header that declares more rows than written
        text = path.read_bytes().replace(f"\t\t{rows}".encode(), f"\t\t{samples}".encode())
        path.write_bytes(text)


def test_index_modes_and_notices(tmp_path):
    path = tmp_path / "run.qtx"
    recording(path)
    with qtx.open(path) as f:
        assert not f.index_used
        scanned = bits(f[0].read_array()[1])
    with qtx.open(path, index="write") as f:
        assert not f.index_used
    assert (tmp_path / "run.qtx.qtxi").exists()
    with qtx.open(path) as f:
        assert f.index_used and (bits(f[0].read_array()[1]) == scanned).all()
    with qtx.open(path, index="ignore") as f:
        assert not f.index_used
    (tmp_path / "run.qtx.qtxi").write_bytes(b"QTXINDEX" + bytes(200))
    with pytest.warns(qtx.IndexWarning, match="run.qtx.qtxi"):
        with qtx.open(path) as f:
            assert not f.index_used and (bits(f[0].read_array()[1]) == scanned).all()
    with pytest.raises(ValueError):
        qtx.open(path, index="sometimes")


def test_an_index_that_cannot_be_written_fails_only_write_index(tmp_path):
    path = tmp_path / "run.qtx"
    recording(path, rows=10)
    (tmp_path / "run.qtx.qtxi.new").mkdir()  # in the way, even for root
    with qtx.open(path) as f:
        with pytest.raises(OSError, match="run.qtx.qtxi"):
            f.write_index()
        assert len(f[0].read_array()[1]) == 10


WRITER = textwrap.dedent("""
    import random, sys, time
    data, path, seed = open(sys.argv[1], "rb").read(), sys.argv[2], int(sys.argv[3])
    rng = random.Random(seed)
    done = int(sys.argv[4])
    with open(path, "ab", buffering=0) as out:
        while done < len(data):
            piece = rng.randint(1, 4000)
            out.write(data[done:done + piece])
            done += piece
            time.sleep(0.002)
""")


def test_follow_gives_each_row_once_with_its_bits(tmp_path):
    finished = tmp_path / "finished.qtx"
    recording(finished, rows=6000)
    data = finished.read_bytes()
    # The follower starts inside the first row, so that one is split too.
    start = data.index(b"\n", data.index(b"***End_of_Header***", data.index(b"Channels"))) + 1
    start = data.index(b"\n", start) + 5
    growing = tmp_path / "growing.qtx"
    growing.write_bytes(data[:start])
    writer = subprocess.Popen([sys.executable, "-c", WRITER, str(finished), str(growing), "7", str(start)])
    try:
        frames = list(qtx.follow(growing, poll=0.01, timeout=10))
    finally:
        writer.wait(timeout=60)
    with qtx.open(finished) as f:
        want = f[0].to_pandas()
    got = np.concatenate([frame.to_numpy() for frame in frames])
    assert got.shape == want.to_numpy().shape
    assert (bits(got) == bits(want.to_numpy())).all()
    assert (bits(np.concatenate([frame.index.to_numpy() for frame in frames])) == bits(want.index.to_numpy())).all()


def test_refresh_counts_new_rows_and_says_replaced(tmp_path):
    path = tmp_path / "run.qtx"
    recording(path, rows=5, samples=8)
    with qtx.open(path) as f:
        assert f[0].rows_in_file == 5
        with open(path, "ab") as out:
            out.write(b"1\t2\t3\t4\n5\t6")
        assert f.refresh() == [1]
        assert f[0].rows_in_file == 6
        path.write_bytes(path.read_bytes()[:100])
        with pytest.raises(qtx.ReplacedError, match="run.qtx"):
            f.refresh()

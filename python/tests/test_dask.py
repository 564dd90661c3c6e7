import os

import numpy as np
import pandas as pd
import pytest
from distributed import Client, LocalCluster

import qtx
import qtx.dask


def write(path, rows, headings=("a", "b"), scale=1.0):
    x = np.arange(rows) * 0.5
    qtx.write(path, x, np.column_stack([x * (i + scale) for i in range(len(headings))]), headings=list(headings))
    return path


def test_files_split_into_partitions_on_a_cluster(tmp_path):
    paths = [write(tmp_path / f"{i}.qtx", rows, "abc") for i, rows in enumerate([3, 0, 20000])]
    frame = qtx.dask.read_dataframe(str(tmp_path / "*.qtx"), rows_per_partition=7000, columns=["c", "a"])
    assert frame.npartitions == 1 + 1 + 3 and list(frame.columns) == ["c", "a"]
    # Worker processes: the reading function and its partitions travel by pickle.
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            Client(cluster):
        result = frame.compute()
    pd.testing.assert_frame_equal(result, pd.concat([qtx.read_pandas(p)[["c", "a"]] for p in paths]))
    # A file changed since the graph was made is scanned again.
    write(paths[2], 20000, "abc", scale=7.0)
    os.utime(paths[2], ns=(0, 0))
    pd.testing.assert_frame_equal(frame.partitions[2:].compute(scheduler="sync"),
                                  qtx.read_pandas(paths[2])[["c", "a"]])


def test_files_that_disagree_name_each_other(tmp_path):
    with pytest.raises(ValueError, match=r"c\.qtx, section 0 has .*\['a', 'c'\]; .*a\.qtx, the first file, has"):
        qtx.dask.read_dataframe([write(tmp_path / "a.qtx", 2), write(tmp_path / "c.qtx", 2, ("a", "c"))])
    with pytest.raises(FileNotFoundError):
        qtx.dask.read_dataframe(str(tmp_path / "*.none"))


def test_path_column_says_which_file_a_row_came_from(tmp_path):
    paths = [str(write(tmp_path / f"{i}.qtx", rows)) for i, rows in enumerate([2, 3])]
    frame = qtx.dask.read_dataframe(paths, include_path_column="file")
    assert list(frame.columns) == ["a", "b", "file"]
    result = frame.compute(scheduler="threads")
    assert result["file"].tolist() == [paths[0]] * 2 + [paths[1]] * 3
    assert list(result["file"].cat.categories) == paths
    assert "path" in qtx.dask.read_dataframe(paths, include_path_column=True).columns
    assert list(qtx.dask.read_dataframe(paths).columns) == ["a", "b"]


def test_partitions_without_a_shared_x_keep_their_row_numbers(tmp_path):
    qtx.write(tmp_path / "m.qtx", np.arange(10.0).reshape(5, 2), np.ones((5, 2)), mode="multi")
    frame = qtx.dask.read_dataframe(str(tmp_path / "m.qtx"), rows_per_partition=2).compute(scheduler="sync")
    assert list(frame.index) == list(range(5))


def test_time_absolute_puts_each_file_on_its_own_clock(tmp_path):
    paths = []
    for i, stamp in enumerate(["01:59:59.5", "02:10:00"]):  # 2024-03-31: Berlin skips 02:00 to 03:00
        paths.append(str(tmp_path / f"{i}.qtx"))
        with qtx.Writer(paths[-1], "one", date="2024/03/31", time=stamp) as w:
            w.write_section(np.arange(4) * 0.25, np.ones((4, 1)), headings=["a"], x_unit="s")
    args = dict(time="absolute", tz="Europe/Berlin", nonexistent="shift_forward")
    frame = qtx.dask.read_dataframe(paths, rows_per_partition=3, **args)
    def read(path):
        with qtx.open(path) as f:
            return f[0].to_pandas(**args)
    expected = pd.concat([read(p) for p in paths])
    assert isinstance(frame._meta.index, pd.DatetimeIndex) and str(frame._meta.index.tz) == "Europe/Berlin"
    pd.testing.assert_frame_equal(frame.compute(scheduler="sync"), expected)
    with pytest.raises(ValueError, match="channel 0 .*no unit of time.*give x_unit="):
        qtx.dask.read_dataframe(write(tmp_path / "plain.qtx", 2), time="absolute")

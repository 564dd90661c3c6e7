"""Wall-clock time: starts, units, exact timestamps, zones, refusals."""
import datetime

import numpy as np
import pandas as pd
import pytest

import qtx


def header(mode, dates, times, units, x0="0", dx="1e-3", samples="3", main=("2024/03/31", "01:59:59")):
    n = len(units)
    line = lambda key, values: key + "".join("\t\t" + v for v in values) + "\t\n"
    return ("Quorset Measurement\t\nSeparator\tTab\nX_Columns\t" + mode + "\n"
            f"Date\t\t{main[0]}\t\nTime\t\t{main[1]}\t\n***End_of_Header***\t\n\n"
            f"Channels\t{n}\n" + line("Samples", [samples] * n) + line("Date", dates) + line("Time", times)
            + line("X_Unit_Label", units) + line("X0", [x0] * n) + line("Delta_X", [dx] * n)
            + "***End_of_Header***\t\n")


def test_channel_clock_and_its_own_date(tmp_path):
    path = tmp_path / "t.qtx"
    path.write_text(header("No", ["2024/03/05"], ["09:07:02.5"], ["ms"], dx="1") + "Y1\n1\n2\n3\n")
    with qtx.open(path) as f:
        c = f[0].channels[0]
        assert c.start_time == datetime.datetime(2024, 3, 5, 9, 7, 2, 500000) and c.x_seconds == 0.001
        index = f[0].to_pandas(time="absolute").index
        assert list(index) == [pd.Timestamp("2024-03-05T09:07:02.5") + pd.Timedelta(milliseconds=k) for k in range(3)]


def test_millisecond_steps_over_days_are_exact(tmp_path):
    path = tmp_path / "t.qtx"
    rows = 5 * 86400 * 1000 // 997
    x = np.arange(rows) * 0.997
    with qtx.Writer(path, "one", date="2024/03/05", time="09:07:02") as w:
        w.write_section(x, np.zeros((rows, 1)), x_unit="s")
    with qtx.open(path) as f:
        ns = f[0].to_pandas(time="absolute").index.asi8
    expected = pd.Timestamp("2024-03-05T09:07:02").value + np.arange(rows, dtype=np.int64) * 997_000_000
    assert np.array_equal(ns, expected)


def test_dst_change_with_tz(tmp_path):
    path = tmp_path / "t.qtx"  # 01:59:59 + 0, 1, 2 s: 02:00:00 and 02:00:01 do not exist in Berlin that night
    path.write_text(header("No", [""], [""], ["s"], dx="1") + "Y1\n1\n2\n3\n")
    with qtx.open(path) as f:
        with pytest.raises(Exception, match="02:00:00"):
            f[0].to_pandas(time="absolute", tz="Europe/Berlin")
        index = f[0].to_pandas(time="absolute", tz="Europe/Berlin", nonexistent="shift_forward").index
        assert str(index[0]) == "2024-03-31 01:59:59+01:00" and str(index[1]) == "2024-03-31 03:00:00+02:00"
        assert f[0].to_pandas(time="absolute").index.tz is None


@pytest.mark.parametrize("mode", ["No", "Multi", "One"])
def test_channels_that_start_apart(tmp_path, mode):
    path = tmp_path / "t.qtx"
    rows = {"No": "1\t2\n", "Multi": "0\t1\t0\t2\n", "One": "0\t1\t2\n"}[mode]
    headings = {"No": "A\tB\n", "Multi": "tA\tA\ttB\tB\n", "One": "t\tA\tB\n"}[mode]
    path.write_text(header(mode, ["2024/03/05", "2024/03/05"], ["09:00:00", "09:01:00"], ["s", "s"], samples="1")
                    + headings + rows)
    with qtx.open(path) as f:
        if mode == "One":
            with pytest.raises(ValueError, match="start at different times"):
                f[0].to_pandas(time="absolute")
            return
        frame = f[0].to_pandas(time="absolute")
        assert frame[("A", "x")][0] == pd.Timestamp("2024-03-05T09:00:00")
        assert frame[("B", "x")][0] == pd.Timestamp("2024-03-05T09:01:00")


def test_what_a_channel_lacks_is_named(tmp_path):
    path = tmp_path / "t.qtx"
    path.write_text(header("No", [""], [""], ["V"], main=("2024/3/5", "09:00:00")) + "Y1\n1\n2\n3\n")
    with qtx.open(path) as f:
        assert f[0].channels[0].start_time is None and f[0].channels[0].x_seconds is None
        with pytest.raises(ValueError, match=r"channel 0 \('Y1'\) has a Date that is not yyyy/MM/dd"):
            f[0].to_pandas(time="absolute")
        with pytest.raises(ValueError, match="no unit of time"):
            f[0].to_pandas(time="absolute", start="2024-03-05T09:00")
        frame = f[0].to_pandas(time="absolute", start="2024-03-05T09:00", x_unit="min")
        assert frame.index[2] == pd.Timestamp("2024-03-05T09:00:00.12")
        assert f[0].rows_between(pd.Timestamp("2024-03-05T09:00:00.05"), pd.Timestamp("2024-03-05T09:00:00.2"),
                                 start="2024-03-05T09:00", x_unit="min") == range(1, 3)

"""Wall-clock time of the channels: each channel's start on the calendar
and the unit of its X, and the timestamps start + X * unit, exact to the
nanosecond."""
import datetime

import numpy as np

from . import _qtx

# What a channel lacks, by the library's status.
_LACKS = {1: "no Date (neither its own nor the main header's)", 2: "a Date without a Time",
          3: "a Date that is not yyyy/MM/dd", 4: "a Time that is not HH:mm:ss[.fff]",
          5: "no X_Unit_Label", 6: "an X_Unit_Label that is no unit of time"}
_EPOCH = datetime.datetime(1970, 1, 1)


class Clock:
    """A channel's start (whole nanoseconds since 1970, no zone) and its
    nanoseconds per X unit, or the status of what is missing."""

    def __init__(self, file_date, file_time, channel):
        # The channel's own stamp when it has both parts, else the main header's.
        own = bool(channel.date) and bool(channel.time)
        date, time = (channel.date, channel.time) if own else (file_date, file_time)
        self.start_status, seconds, ns = _qtx.start_time(date, time)
        self.start_ns = seconds * 1_000_000_000 + ns if self.start_status == 0 else None
        self.unit_status, per_unit = _qtx.x_unit_ns(channel.x_unit)
        self.ns_per_unit = per_unit if self.unit_status == 0 else None

    def start_time(self):
        """The start as a datetime (to the microsecond it holds), or None."""
        if self.start_ns is None:
            return None
        return _EPOCH + datetime.timedelta(microseconds=self.start_ns // 1000)

    def x_seconds(self):
        return None if self.ns_per_unit is None else self.ns_per_unit / 1e9


def _start_ns(start):
    import pandas as pd
    stamp = pd.Timestamp(start)
    if stamp.tzinfo is not None:
        raise ValueError("start= is a time on the file's own clock, without a zone; localise with tz=")
    return int(stamp.value)


def _unit_ns(x_unit):
    status, per_unit = _qtx.x_unit_ns(str(x_unit))
    if status != 0:
        raise ValueError(f"x_unit={x_unit!r} is no unit of time (s, sec, ms, us, \u00b5s, ns, min, h)")
    return per_unit


def resolve(section, chosen, start, x_unit):
    """(start_ns, ns_per_unit) of each chosen channel, with start= and x_unit=
    in place of what the file gives; ValueError naming the channel and what
    it lacks."""
    given_start = None if start is None else _start_ns(start)
    given_unit = None if x_unit is None else _unit_ns(x_unit)
    out = []
    for c in chosen:
        clock = section._clocks[c.index]
        s = given_start if given_start is not None else clock.start_ns
        u = given_unit if given_unit is not None else clock.ns_per_unit
        name = f"section {section.index}, channel {c.index} ({c.y_heading!r})"
        if s is None:
            raise ValueError(f"{name} has {_LACKS[clock.start_status]}: no start time; give start=")
        if u is None:
            raise ValueError(f"{name} has {_LACKS[clock.unit_status]} (X_Unit_Label {c.x_unit!r}); give x_unit=")
        out.append((s, u))
    return out


def timestamps(x, start_ns, ns_per_unit):
    """start + x * unit as datetime64[ns], rounded to the nearest
    nanosecond; NaN X gives NaT. The product is formed in long double, which
    holds a 1 ms grid over years to the nanosecond where it has 64 bits of
    mantissa (x86), and over days at the least."""
    x = np.asarray(x, dtype=np.float64)
    finite = np.isfinite(x)
    offset = np.rint(x.astype(np.longdouble) * np.longdouble(ns_per_unit))
    limit = np.longdouble(2.0) ** 63
    total = offset + np.longdouble(start_ns)
    if np.any(finite & ~((total < limit) & (total > -limit))):
        raise ValueError("a time start + X lies outside the nanosecond range of datetime64 (years 1677 to 2262)")
    ns = np.where(finite, offset, 0).astype(np.int64) + np.int64(start_ns)
    ns[~finite] = np.iinfo(np.int64).min  # NaT
    return ns.view("datetime64[ns]")


def localize(index, tz, ambiguous, nonexistent):
    import pandas as pd
    index = pd.DatetimeIndex(index)
    if tz is None:
        return index
    return index.tz_localize(tz, ambiguous=ambiguous, nonexistent=nonexistent)


def to_absolute(section, frame, chosen, shared, start, x_unit, tz, ambiguous, nonexistent):
    """The frame of to_pandas() with its X as wall-clock times: the index
    when the channels share their X, else every (heading, 'x') column."""
    return on_clocks(frame, chosen, shared, resolve(section, chosen, start, x_unit), tz, ambiguous, nonexistent)


def on_clocks(frame, chosen, shared, clocks, tz, ambiguous, nonexistent):
    """The frame's X as times on `clocks`, (start_ns, ns_per_unit) per chosen
    channel, which resolve() gave."""
    import pandas as pd
    if shared:
        index = localize(timestamps(frame.index.to_numpy(), *clocks[0]), tz, ambiguous, nonexistent)
        frame.index = pd.DatetimeIndex(index, name=frame.index.name)
        return frame
    for c, clock in zip(chosen, clocks):
        column = localize(timestamps(frame[(c.y_heading, "x")].to_numpy(), *clock), tz, ambiguous, nonexistent)
        frame[(c.y_heading, "x")] = column
    return frame


def x_bound(section, chosen, value, start, x_unit):
    """The X of a datetime bound for rows_between(), on the first channel's clock."""
    import pandas as pd
    start_ns, per_unit = resolve(section, chosen, start, x_unit)[0]
    stamp = pd.Timestamp(value)
    if stamp.tzinfo is not None:
        stamp = stamp.tz_localize(None)  # the local wall time, the clock of the file
    return (stamp.value - start_ns) / per_unit

"""Read and write QTX measurement files with numpy and pandas.

    import qtx
    with qtx.open("run.qtx") as f:
        section = f[0]
        print([c.y_heading for c in section.channels], section.n_rows)
        frame = section.to_pandas()        # indexed by X when the channels share it
    qtx.write("copy.qtx", frame.index, frame.to_numpy(), headings=list(frame.columns))

Values come as float64 numpy arrays that take over the reader's own memory
without a copy. The GIL is released while a file is scanned, read or written.
qtx.dask.read_dataframe reads many files as one dask DataFrame.
"""

import math
import operator
import os
import secrets
import stat
import time
import warnings
from typing import NamedTuple

import numpy as np

from . import _qtx, _time
from ._qtx import FormatError, __version__

__all__ = ["__version__", "Channel", "File", "FormatError", "Section", "Settings", "ShortSectionWarning", "Writer",
           "IndexWarning", "ReplacedError", "estimate_time_step", "follow", "open", "read_pandas", "resample",
           "write", "write_pandas"]

FormatError.__module__ = __name__
FormatError.__doc__ = "The file has no complete main header (a ValueError)."


class IndexWarning(UserWarning):
    """The index file beside a file does not match it, and the file was scanned."""


class ReplacedError(OSError):
    """A followed file shrank, or bytes already read changed."""


_INDEX_USED, _INDEX_EXTENDED = 0, 1


class ShortSectionWarning(UserWarning):
    """A read reaches past the rows the file holds: the section declares
    more rows than the file has (a truncated file); the read gives only
    those the file has."""

MODES = ("no", "one", "multi")  # X_Columns: computed X, one X column, an X column per channel
_MOST_ROWS = 2**32 - 1


class Settings(NamedTuple):
    """The main header's settings."""
    separator: str
    separator_name: str
    writer_version: float
    reader_version: float
    multi_headings: bool
    x_columns: str  # 'no', 'one' or 'multi'
    time_pref: str = ""  # the Time_Pref line as written; "" without one


class Channel(NamedTuple):
    """One channel's labels and X grid, as the section header gives them."""
    index: int
    y_heading: str
    x_heading: str
    y_dimension: str
    y_unit: str
    x_dimension: str
    x_unit: str
    samples: int
    x0: float
    delta_x: float
    date: str = ""  # the section header's Date and Time of the channel as written
    time: str = ""
    # The channel's start (its own Date and Time when it has both, else the
    # main header's) as a datetime without zone, and seconds per unit of its
    # X_Unit_Label; None where the file gives none or none that can be read.
    start_time: object = None
    x_seconds: object = None


def _threads(threads):
    """The native reader's thread count: 0 for all cores."""
    if threads is None:
        return 0
    count = operator.index(threads)
    if count < 1:
        raise ValueError(f"threads must be at least 1 (or None for all cores), not {count}")
    return count


def _position(index, count, what):
    """A sequence position: negative counts from the end; IndexError outside."""
    i = operator.index(index)
    if -count <= i < count:
        return i % count
    raise IndexError(f"{what} {i} out of range (there are {count})")


class Section:
    """One section: its rows, where they begin, its channels, and its values."""

    def __init__(self, file, index, n_rows, data_line, channels, rows_in_file):
        self._file = file
        self.index = index
        self.n_rows = n_rows              # the largest Samples of the channels
        self.data_line = data_line        # lines before the first data row
        # A heading the headings line lacks reads as the tool shows it: Y1,
        # Y2, ... by the channel's number from 1, X_Value for an X column.
        self.channels = tuple(Channel(c[0], c[1] or f"Y{c[0] + 1}", c[2] or "X_Value", *c[3:]) for c in channels)
        self.rows_in_file = rows_in_file  # the rows the file holds: n_rows, or fewer when it ends first
        self._clocks = [_time.Clock(file.date, file.time, c) for c in self.channels]
        self.channels = tuple(c._replace(start_time=k.start_time(), x_seconds=k.x_seconds())
                              for c, k in zip(self.channels, self._clocks))

    def __repr__(self):
        headings = [c.y_heading for c in self.channels]
        return f"<qtx.Section {self.index}: {self.n_rows} rows, channels {headings}>"

    def _select(self, channels):
        """Channel positions for an index, a heading, or a sequence of them."""
        if channels is None:
            return list(range(len(self.channels))), False
        single = isinstance(channels, (str, int, np.integer))
        chosen = []
        for item in [channels] if single else channels:
            if isinstance(item, str):
                found = [i for i, c in enumerate(self.channels) if c.y_heading == item]
                if len(found) != 1:
                    problem = "no channel" if not found else f"{len(found)} channels"
                    raise KeyError(f"section {self.index} has {problem} headed {item!r}")
                chosen.append(found[0])
            else:
                chosen.append(_position(item, len(self.channels), f"section {self.index}: channel"))
        return chosen, single

    def _shares_x(self, chosen):
        """Whether the channels' X arrays are one and the same: mode One, or
        mode No with the same X0 and Delta_X everywhere."""
        mode = self._file.settings.x_columns
        grids = {(self.channels[i].x0.hex(), self.channels[i].delta_x.hex()) for i in chosen}
        return mode == "one" or (mode == "no" and len(grids) == 1)

    def _range(self, rows, stacklevel=3):
        """(first, count) of `rows`, a slice or range of row numbers (step 1)
        taken as a slice of the section's n_rows rows; warns when it reaches
        past the rows the file holds."""
        if rows is None:
            first, stop = 0, self.n_rows
        elif isinstance(rows, (slice, range)):
            if rows.step not in (None, 1):
                raise ValueError(f"rows must be consecutive (step 1), not step {rows.step}")
            first, stop, _ = slice(rows.start, rows.stop).indices(self.n_rows)
        else:
            raise TypeError(f"rows must be a slice or a range, not {type(rows).__name__}")
        stop = max(first, stop)
        if stop > self.rows_in_file:
            self._warn_short(stacklevel)
        return first, stop - first

    def _warn_short(self, stacklevel):
        warnings.warn(f"{os.fsdecode(self._file.path)}, section {self.index} declares {self.n_rows} rows; "
                      f"the file holds {self.rows_in_file}", ShortSectionWarning, stacklevel=stacklevel + 1)

    def read(self, channels=None, copy=False, rows=None, threads=None):
        """X and Y of the channels as 1-D float64 arrays: a list of (x, y),
        or one (x, y) for a single index or heading. `rows`: a slice or range
        of row numbers, by default all; each channel's arrays end at its own
        Samples and at the rows the file holds. `threads`: how many read at
        once (None: one per core). Where the channels share their X, every
        channel gets a read-only view of one X array; `copy` gives each one
        a writable copy of its own. No later read touches these arrays."""
        chosen, single = self._select(channels)
        self._file._check_open()
        first, count = self._range(rows)
        if not chosen:
            return []
        x, pairs, _ = self._file._native.read(self.index, chosen, first, count, _threads(threads),
                                              self._shares_x(chosen))
        if x is not None:
            x.flags.writeable = False
            pairs = [(x[:len(y)].copy() if copy else x[:len(y)], y) for _, y in pairs]
        return pairs[0] if single else pairs

    def _block(self, channels, rows, threads, own_clocks=False):
        chosen, _ = self._select(channels)
        if not chosen:
            raise ValueError(f"section {self.index}: no channel selected")
        self._file._check_open()
        first, count = self._range(rows, stacklevel=4)
        shared = self._shares_x(chosen) and not own_clocks
        x, block = self._file._native.read_block(self.index, chosen, first, count, _threads(threads), not shared)
        return [self.channels[i] for i in chosen], shared, x, block, first

    def read_array(self, channels=None, rows=None, threads=None):
        """(x, Y): Y of shape (rows, channels); x of shape (rows) when the
        channels share their X, else (rows, channels) like Y. `rows` and
        `threads` as for read(); the rows are those the file holds, and a
        channel's values past its own Samples are NaN."""
        _, shared, x, block, _ = self._block(channels, rows, threads)
        return (x, block) if shared else (block[:, 0::2], block[:, 1::2])

    def _own_clocks(self, channels, time, start):
        """Whether the channels, read with time="absolute", need an X each:
        their starts differ. Mode One has one X column, and refuses."""
        if time is None or time == "relative":
            return False
        if time != "absolute":
            raise ValueError(f"time must be 'absolute', 'relative' or None, not {time!r}")
        if start is not None:
            return False
        chosen, _ = self._select(channels)
        starts = {self._clocks[i].start_ns for i in chosen}
        if len(starts) < 2:
            return False
        if self._file.settings.x_columns == "one":
            raise ValueError(f"section {self.index}: its channels start at different times, but X_Columns One "
                             "gives them one X column, so no one time axis fits them all; read them one by one "
                             "or give start=")
        return True

    def to_pandas(self, channels=None, rows=None, threads=None, *, time=None, tz=None, ambiguous="raise",
                  nonexistent="raise", start=None, x_unit=None):
        """A DataFrame: indexed by X with a column per Y heading when the
        channels share their X; otherwise (heading, 'x'|'y') columns. `rows`
        and `threads` as for read_array(), with NaN past a channel's Samples.
        Without a shared X the rows are labelled by their row numbers in the
        section, so frames of consecutive ranges concatenate as one.

        time="absolute" gives X as wall-clock times, start + X * unit,
        rounded to the nearest nanosecond: naive (the file keeps no zone), or
        localised to `tz` with pandas' `ambiguous` and `nonexistent` for the
        local times a DST change repeats or skips. Channels that start at
        different times get an X each (in mode One: ValueError). `start` (a
        datetime or ISO text) and `x_unit` (a unit label) stand in for the
        file's; without them a channel lacking either is a ValueError."""
        own = self._own_clocks(channels, time, start)
        chosen, shared, x, block, first = self._block(channels, rows, threads, own)
        frame = _frame(chosen, shared, x, block, first)
        frame.attrs.update(_attrs(self._file, chosen))
        if time == "absolute":
            frame = _time.to_absolute(self, frame, chosen, shared, start, x_unit, tz, ambiguous, nonexistent)
        return frame

    def chunks(self, rows=1_000_000, channels=None, threads=None, **time):
        """An iterator of DataFrames, to_pandas() of consecutive ranges of
        `rows` rows, through the rows the file holds; each is read when it is
        asked for, so memory holds one at a time."""
        step = operator.index(rows)
        if step < 1:
            raise ValueError(f"rows must be at least 1, not {step}")
        self._select(channels)
        self._file._check_open()
        if self.rows_in_file < self.n_rows:
            self._warn_short(2)
        self._own_clocks(channels, time.get("time"), time.get("start"))
        return (self.to_pandas(channels, slice(first, first + step), threads, **time)
                for first in range(0, self.rows_in_file, step))

    def rows_between(self, lo, hi, *, start=None, x_unit=None):
        """The range of rows whose X lies in [lo, hi], among the rows the
        file holds, for an X that the channels share and that does not
        decrease: X0 + row * Delta_X in mode 'no', the X column in mode 'one'
        (read in full: the answer holds only if X rises over every row).
        ValueError when the channels share no X (mode 'multi', or grids that
        differ) or the X decreases anywhere in the section."""
        self._file._check_open()
        if not isinstance(lo, (int, float, np.number)) or not isinstance(hi, (int, float, np.number)):
            # Wall-clock bounds: times on the clock of channel 0, whose X the channels share.
            chosen = [self.channels[0]] if self.channels else []
            if not chosen:
                return range(0, 0)
            lo = _time.x_bound(self, chosen, lo, start, x_unit)
            hi = _time.x_bound(self, chosen, hi, start, x_unit)
        status, first, count = self._file._native.rows_between(self.index, float(lo), float(hi))
        if status == 1:
            raise ValueError(f"section {self.index}: the channels share no X (X_Columns {self._file.settings.x_columns}"
                             f"{', X0 or Delta_X differ' if self._file.settings.x_columns == 'no' else ''}), "
                             "so no range of rows holds the X between two values")
        if status == 2:
            raise ValueError(f"section {self.index}: X decreases, so no range of rows holds the X between two values")
        return range(first, first + count)

    def _layout(self):
        """What the frame of this section looks like, to compare files by."""
        shared = self._shares_x(range(len(self.channels)))
        x_heading = self.channels[0].x_heading if shared and self.channels else None
        return self._file.settings.x_columns, shared, x_heading, tuple(c.y_heading for c in self.channels)


def _frame(chosen, shared, x, block, first=0):
    """A frame of rows from row `first` on: indexed by the shared X, else by
    the row numbers."""
    import pandas as pd
    headings = [c.y_heading for c in chosen]
    if shared:
        return pd.DataFrame(block, index=pd.Index(x, name=chosen[0].x_heading), columns=headings, copy=False)
    columns = pd.MultiIndex.from_tuples([(h, part) for h in headings for part in ("x", "y")])
    return pd.DataFrame(block, index=pd.RangeIndex(first, first + len(block)), columns=columns, copy=False)


def _attrs(file, chosen):
    """What a frame carries of its file beside the values: per column (in
    channel order) the units, dimensions, X grid and stamps, and the main
    header's metadata. write_pandas writes them back."""
    return {
        "x_columns": file.settings.x_columns,
        "description": file.description, "date": file.date, "time": file.time,
        "time_pref": file.settings.time_pref,
        "y_units": [c.y_unit for c in chosen], "y_dimensions": [c.y_dimension for c in chosen],
        "x_units": [c.x_unit for c in chosen], "x_dimensions": [c.x_dimension for c in chosen],
        "x_headings": [c.x_heading for c in chosen],
        "x0": [c.x0 for c in chosen], "delta_x": [c.delta_x for c in chosen],
        "dates": [c.date for c in chosen], "times": [c.time for c in chosen],
    }


class File:
    """A scanned QTX file, open for reads until closed: a sequence of sections.

    index: "auto" opens through the index file beside it (FILE.qtxi) when that
    matches the file, "ignore" always scans, "write" uses it and creates or
    extends it. An index that does not match is said by an IndexWarning."""

    def __init__(self, path, index="auto"):
        self.path = os.fspath(path)
        modes = {"auto": 0, "write": 0, "ignore": 1, "follow": 2}
        if index not in modes:
            raise ValueError(f"index must be 'auto', 'ignore' or 'write', not {index!r}")
        try:
            self._native = _qtx.ScannedFile(os.fsencode(self.path), modes[index])
        except FormatError as error:
            raise FormatError(f"{os.fsdecode(self.path)}: {error}") from None
        self.index_used, notice, text = self._native.index_use()
        if text and notice != _INDEX_EXTENDED and index != "write":
            warnings.warn(text, IndexWarning, stacklevel=3)
        if index == "write" and notice != _INDEX_USED:
            self.write_index()
        self._load()

    def _load(self):
        settings = list(self._native.settings())
        settings[5] = MODES[settings[5]]
        # The main header's metadata as written; "" where it has none.
        self.description, self.date, self.time, time_pref = self._native.metadata()
        self.settings = Settings(*settings, time_pref)
        self.sections = tuple(Section(self, i, *s) for i, s in enumerate(self._native.sections()))

    def write_index(self):
        """Writes FILE.qtxi beside the file, so that later opens read only the
        headers and the index; OSError when it cannot be written."""
        error = self._native.write_index()
        if error is not None:
            raise OSError(error)

    def refresh(self):
        """Takes in what was appended to the file since the last look, reading
        only the new bytes: rows once their line end is written, sections once
        their header and headings line are. Returns the new rows per section
        (sections added included). ReplacedError when the file shrank or its
        bytes already read changed; nothing of it is then taken."""
        self._check_open()
        status, rows, _, text = self._native.refresh()
        if status == 1:
            raise ReplacedError(text)
        if status != 0:
            raise OSError(text)
        self._load()
        return rows

    def __repr__(self):
        state = "closed" if self.closed else "open"
        return f"<qtx.File {os.fsdecode(self.path)!r}, {len(self)} sections, {state}>"

    def __len__(self):
        return len(self.sections)

    def __getitem__(self, index):
        return self.sections[_position(index, len(self.sections), "section")]

    def __iter__(self):
        return iter(self.sections)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def closed(self):
        return self._native.closed

    def close(self):
        """Closes the file; the sections' labels stay, their values cannot be read."""
        self._native.close()

    def _check_open(self):
        if self.closed:
            raise ValueError("I/O operation on closed file.")


def open(path, index="auto"):  # noqa: A001 - the package's entry, like io.open
    """Scans the file at `path` and keeps it open for reading its values.

    Raises an OSError subclass when it cannot be opened, FormatError when it
    ends before the main header's end line, MemoryError when it declares more
    than fits in memory. `index` as for File."""
    return File(path, index)


def follow(path, section=0, channels=None, poll=0.5, timeout=None):
    """DataFrames of the rows of one section as a writer appends them, each
    row once. Ends when the section holds its declared Samples, when
    `timeout` seconds pass without a new row, or at KeyboardInterrupt;
    ReplacedError when the file is replaced meanwhile."""
    waited = time.monotonic()
    while True:
        try:
            f = File(path, index="follow")
            break
        except (FormatError, FileNotFoundError):
            if timeout is not None and time.monotonic() - waited > timeout:
                return
            time.sleep(poll)
    with f:
        done = 0
        try:
            while True:
                if section < len(f.sections):
                    s = f.sections[section]
                    if s.rows_in_file > done:
                        frame = s.to_pandas(channels=channels, rows=slice(done, s.rows_in_file))
                        done = s.rows_in_file
                        waited = time.monotonic()
                        yield frame
                    if done >= s.n_rows:
                        return
                if timeout is not None and time.monotonic() - waited > timeout:
                    return
                time.sleep(poll)
                f.refresh()
        except KeyboardInterrupt:
            return


def read_pandas(path, section=0):
    """The DataFrame of one section of the file at `path` (see Section.to_pandas)."""
    with open(path) as f:
        return f[section].to_pandas()


def _text(name, value):
    """A label as the bytes the file holds; refuses what would not read back."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {type(value).__name__}")
    if value == "":
        problem = "is empty"
    elif "\t" in value:
        problem = "holds a tab, which separates fields"
    elif "\n" in value or "\r" in value:
        problem = "holds a line end"
    elif value[-1] in " \v\f":
        problem = "ends with white space, which the reader drops"
    else:
        return value.encode("utf-8", "surrogateescape")
    raise ValueError(f"{name} {value!r} {problem}; it would not read back as written")


def _per_channel(name, value, count):
    """One item per channel: a sequence of `count`, or one value for all."""
    items = [value] * count if isinstance(value, str) or np.ndim(value) == 0 else list(value)
    if len(items) != count:
        raise ValueError(f"{name} has {len(items)} items for {count} channels")
    return items


def _header_number(name, value):
    """X0 or Delta_X of mode 'no', which the header keeps with 7 significant digits."""
    value = float(value)
    if not math.isfinite(value) or float(f"{value:.6e}") != value:
        raise ValueError(f"{name} {value!r} would read back as {value:.6e}; give at most 7 significant digits")
    return value


def _section(mode, x, Y, *, headings=None, x_heading="X_Value", y_units="-", y_dimensions=None, x_unit="-",
             x_dimension=None, x0=None, delta_x=None, dates=None, times=None):
    """The arguments of a section for the native writer, checked in full
    before anything is written."""
    Y = np.asarray(Y, dtype=np.float64)
    Y = Y[:, np.newaxis] if Y.ndim == 1 else Y
    if Y.ndim != 2 or Y.shape[1] == 0:
        raise ValueError(f"Y must be (rows) or (rows, channels) with at least one channel, not {Y.shape}")
    rows, k = Y.shape
    if rows > _MOST_ROWS:
        raise ValueError(f"a section holds at most {_MOST_ROWS} rows")
    if mode == 0:
        if x is not None:
            raise ValueError("mode 'no' writes no X column: give x=None, and x0 and delta_x")
        x0 = [_header_number("x0", v) for v in _per_channel("x0", 0.0 if x0 is None else x0, k)]
        delta_x = 1.0 if delta_x is None else delta_x
        delta_x = [_header_number("delta_x", v) for v in _per_channel("delta_x", delta_x, k)]
        x_heading = "X_Value"  # what the reader gives without an X column
    else:
        x = np.asarray(x, dtype=np.float64)
        if x.shape[:1] != (rows,) or x.ndim > mode or (x.ndim == 2 and x.shape[1] != k):
            raise ValueError(f"x of shape {x.shape} does not fit Y of shape {Y.shape} in mode {MODES[mode]!r}")
        columns = x if x.ndim == 2 else x[:, np.newaxis]
        first = columns[0] if rows else np.zeros(columns.shape[1])
        mean_step = (columns[-1] - columns[0]) / (rows - 1) if rows > 1 else np.zeros(columns.shape[1])
        mean_step = np.where(np.isfinite(mean_step), mean_step, 0.0)
        x0 = _per_channel("x0", list(np.broadcast_to(first, k)) if x0 is None else x0, k)
        delta_x = _per_channel("delta_x", list(np.broadcast_to(mean_step, k)) if delta_x is None else delta_x, k)
    headings = [f"Y{i + 1}" for i in range(k)] if headings is None else headings
    x_headings = _per_channel("x_heading", x_heading, k)
    if mode == 1 and len(set(x_headings)) != 1:
        raise ValueError(f"mode 'one' has one X column and one X heading, not {x_headings}")
    given = {  # the native writer's name: the argument's name and its items
        "y_headings": ("headings", _per_channel("headings", headings, k)),
        "x_headings": ("x_heading", x_headings),
        "y_units": ("y_units", _per_channel("y_units", y_units, k)),
        "x_units": ("x_unit", _per_channel("x_unit", x_unit, k)),
    }
    given["y_dimensions"] = ("y_dimensions", given["y_headings"][1] if y_dimensions is None
                             else _per_channel("y_dimensions", y_dimensions, k))
    given["x_dimensions"] = ("x_dimension", x_headings if x_dimension is None
                             else _per_channel("x_dimension", x_dimension, k))
    for key, items in (("dates", dates), ("times", times)):
        if items is not None:
            given[key] = (key, _per_channel(key, items, k))
    labels = {key: [_text(f"{name}[{i}]", v) for i, v in enumerate(items)] for key, (name, items) in given.items()}
    return dict(labels=labels, x0=[float(v) for v in x0], delta_x=[float(v) for v in delta_x], x=x, y=Y)


def _mode_number(mode):
    # Word values match in any case, as in the tool.
    mode = mode.lower() if isinstance(mode, str) else mode
    if mode not in MODES:
        raise ValueError(f"mode must be one of {MODES}, not {mode!r}")
    return MODES.index(mode)


def _temporary_beside(target):
    """A new empty file beside `target`, hidden, that no other file has the
    name of; created here, so that nothing else is ever truncated."""
    folder, name = os.path.split(target)
    for _ in range(100):
        candidate = os.path.join(folder, f".{name}.{secrets.token_hex(4)}.tmp")
        try:
            os.close(os.open(candidate, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666))
            return candidate
        except FileExistsError:
            continue
    raise FileExistsError(f"no free name for a temporary file beside {target}")


def _labels_alone(mode, labels):
    """The arguments of a section of no rows with `labels`, checked: as many
    channels as the first per-channel label has items."""
    k = 1
    for key in ("headings", "y_units", "y_dimensions", "x_heading", "x_unit", "x_dimension", "dates", "times"):
        value = labels[key]
        if value is not None and not isinstance(value, str) and np.ndim(value) == 1:
            k = len(value)
            break
    return _section(mode, None if mode == 0 else np.empty(0), np.empty((0, k)), **labels), k


class Writer:
    """A QTX file of several sections, written through the library's header
    writer: the main header at once, then one section per write_section(),
    or per begin_section() and its write_rows() in pieces. Every write is
    checked; a failure raises OSError. A regular file (or a new one) is
    written to a temporary file beside it, renamed over it at a good close:
    until then, and after a failed close, the file at `path` is as it was."""

    def __init__(self, path, mode="one", *, description=None, date=None, time=None, time_pref=None):
        """description, time_pref ("Relative" by default), date (yyyy/MM/dd)
        and time (HH:mm:ss) go into the main header; date and time also
        stamp every section's channels. None gives the header writer's
        default: its description, Relative, now."""
        self.mode = _mode_number(mode)
        stamps = {name: b"" if value is None else _text(name, value) for name, value in
                  (("description", description), ("time_pref", time_pref), ("date", date), ("time", time))}
        target = os.path.realpath(os.fspath(path))  # a link stays a link, its target gets the file
        self._target = self._temporary = None
        if not os.path.exists(target) or os.path.isfile(target):
            self._target, self._temporary = target, _temporary_beside(target)
        try:
            self._native = _qtx.FileWriter(os.fsencode(self._temporary or os.fspath(path)), self.mode, **stamps)
        except BaseException:
            self._discard()
            raise
        self._sections = 0    # sections begun
        self._pending = None  # the section being written in pieces

    def write_section(self, x, Y, *, headings=None, x_heading="X_Value", y_units="-", y_dimensions=None, x_unit="-",
                      x_dimension=None, x0=None, delta_x=None, dates=None, times=None):
        """Writes one section of Y (rows, channels) with its X: x (rows) in
        mode 'one'; (rows) or (rows, channels) in 'multi'; None in 'no', where
        X is x0 + row * delta_x. Labels are a str for every channel or one
        per channel; dimensions default to the headings. Values read back bit
        for bit; labels that would not (empty, with a tab or a line end, or
        ending in white space) raise ValueError before anything is written.
        dates and times stamp the channels (one for all or one each); by
        default the writer's."""
        section = _section(self.mode, x, Y, headings=headings, x_heading=x_heading, y_units=y_units,
                           y_dimensions=y_dimensions, x_unit=x_unit, x_dimension=x_dimension, x0=x0,
                           delta_x=delta_x, dates=dates, times=times)
        self._end_section()
        self._sections += 1
        _put(self._native, section)

    def begin_section(self, rows, *, headings=None, x_heading="X_Value", y_units="-", y_dimensions=None, x_unit="-",
                      x_dimension=None, x0=None, delta_x=None, dates=None, times=None):
        """Begins a section of `rows` rows, which write_rows() then writes in
        pieces, so that a section need not fit in memory. Labels as for
        write_section(); the header is written with the first piece, and in
        modes 'one' and 'multi' X0 and Delta_X default to that piece's first
        X and mean step. write_rows() refuses rows beyond `rows`; close() and
        the next section raise ValueError when fewer were written."""
        rows = operator.index(rows)
        if not 0 <= rows <= _MOST_ROWS:
            raise ValueError(f"a section holds 0 to {_MOST_ROWS} rows, not {rows}")
        labels = dict(headings=headings, x_heading=x_heading, y_units=y_units, y_dimensions=y_dimensions,
                      x_unit=x_unit, x_dimension=x_dimension, x0=x0, delta_x=delta_x, dates=dates, times=times)
        _, channels = _labels_alone(self.mode, labels)  # bad labels raise here, named by argument and item
        self._end_section()
        self._sections += 1
        self._pending = dict(rows=rows, written=0, labels=labels, begun=False, channels=channels)

    def write_rows(self, x, Y):
        """Writes the next rows of the section begun: x and Y as for
        write_section()."""
        pending = self._pending
        if pending is None:
            raise ValueError("no section to write rows of: call begin_section() first")
        shape = np.shape(Y)
        if len(shape) in (1, 2) and (1 if len(shape) == 1 else shape[1]) != pending["channels"]:
            raise ValueError(f"Y of shape {shape} has {1 if len(shape) == 1 else shape[1]} channels where "
                             f"section {self._sections - 1} has {pending['channels']}")
        section = _section(self.mode, x, Y, **pending["labels"])
        count = len(section["y"])
        if pending["written"] + count > pending["rows"]:
            raise ValueError(f"section {self._sections - 1} declares {pending['rows']} rows; "
                             f"{pending['written']} are written and {count} more would be too many")
        if not pending["begun"]:
            self._native.begin_section(section["labels"], section["x0"], section["delta_x"], pending["rows"])
            pending["begun"] = True
        self._native.write_rows(section["x"], section["y"])
        pending["written"] += count

    def _end_section(self):
        """Ends the section written in pieces, if any: its header, when no
        piece wrote it, and the check of its rows."""
        pending, self._pending = self._pending, None
        if pending is None:
            return
        if not pending["begun"]:  # a header of its own, from the labels alone
            section, _ = _labels_alone(self.mode, pending["labels"])
            self._native.begin_section(section["labels"], section["x0"], section["delta_x"], pending["rows"])
        if pending["written"] != pending["rows"]:
            raise ValueError(f"section {self._sections - 1} declares {pending['rows']} rows; "
                             f"only {pending['written']} were written")

    def close(self):
        """Ends the section written in pieces (ValueError when it is short)
        and closes the file, which then replaces the one at `path`. When
        either fails, the file at `path` is left as it was."""
        try:
            try:
                self._end_section()
            finally:
                self._native.close()
        except BaseException:
            self._discard()
            raise
        if self._temporary is not None:
            if os.path.isfile(self._target):  # the replacement keeps the permissions of the file it replaces
                os.chmod(self._temporary, stat.S_IMODE(os.stat(self._target).st_mode))
            os.replace(self._temporary, self._target)
            self._temporary = None

    def _discard(self):
        if self._temporary is not None:
            try:
                os.remove(self._temporary)
            except FileNotFoundError:
                pass
            self._temporary = None

    def __enter__(self):
        return self

    def __exit__(self, kind, *_):
        if kind is not None:  # the error on its way says more; the file at `path` stays as it was
            try:
                self._native.close()
            except (OSError, ValueError):
                pass
            self._discard()
            return
        self.close()


def _put(native, section):
    """Writes a section checked by _section()."""
    native.begin_section(section["labels"], section["x0"], section["delta_x"], len(section["y"]))
    native.write_rows(section["x"], section["y"])


def write(path, x, Y, mode="one", **labels):
    """Writes a file of one section; see Writer.write_section for the
    arguments. Nothing is written when they are refused."""
    section = _section(_mode_number(mode), x, Y, **labels)
    with Writer(path, mode) as writer:
        _put(writer._native, section)


def write_pandas(path, frame):
    """Writes a DataFrame as a file of one section: a frame of to_pandas
    (indexed by X, or with (heading, 'x'|'y') columns) with what its attrs
    carry (units, dimensions, X grid, stamps, metadata) written back, so that
    read_pandas then write_pandas keeps headings, units and metadata. A frame
    without them gets the defaults of write()."""
    import pandas as pd
    attrs = frame.attrs
    multi = isinstance(frame.columns, pd.MultiIndex)
    if multi:
        headings = list(dict.fromkeys(h for h, _ in frame.columns))
        x = np.column_stack([frame[(h, "x")].to_numpy(np.float64) for h in headings]) if headings else None
        Y = np.column_stack([frame[(h, "y")].to_numpy(np.float64) for h in headings]) if headings else None
        mode = "multi"
    else:
        headings = [str(h) for h in frame.columns]
        x = frame.index.to_numpy(np.float64)
        Y = frame.to_numpy(np.float64)
        mode = "no" if attrs.get("x_columns") == "no" else "one"
    k = len(headings)

    def per_column(key):
        value = attrs.get(key)
        return value if isinstance(value, (list, tuple)) and len(value) == k else None

    labels = dict(headings=[str(h) for h in headings])
    for key, name in (("y_units", "y_units"), ("y_dimensions", "y_dimensions"), ("x_units", "x_unit"),
                      ("x_dimensions", "x_dimension"), ("dates", "dates"), ("times", "times")):
        if per_column(key) is not None and all(per_column(key)):
            labels[name] = list(per_column(key))
    labels["x0"], labels["delta_x"] = per_column("x0"), per_column("delta_x")
    if mode == "no":
        x = None
    elif not multi and frame.index.name is not None:
        labels["x_heading"] = str(frame.index.name)
    elif multi and per_column("x_headings") is not None:
        labels["x_heading"] = list(per_column("x_headings"))
    stamps = {key: attrs.get(key) or None for key in ("description", "date", "time", "time_pref")}
    section = _section(_mode_number(mode), x, Y, **labels)
    with Writer(path, mode, **stamps) as writer:
        _put(writer._native, section)


def estimate_time_step(x):
    """The library's mean step of the samples x: (x[-1] - x[0]) / len(x),
    the count itself as divisor. None when there are fewer than two samples
    or x[-1] is not above x[0]."""
    x = np.asarray(x, dtype=np.float64).ravel()
    if len(x) > _MOST_ROWS:
        raise ValueError(f"at most {_MOST_ROWS} samples")
    step = _qtx.estimate_time_step(len(x), x[0], x[-1]) if len(x) >= 2 else -1.0
    return None if step == -1.0 else step


def resample(x, y, start, step):
    """The curve through (x, y) interpolated linearly at start, start + step,
    ... (each abscissa the one before plus step), up to the last X: a tuple
    (abscissas, values) of numpy arrays. Abscissas before x[0] follow the
    first segment; one within 2**-1022 of a point takes its y exactly."""
    return _qtx.resample(x, y, float(start), float(step))


def __getattr__(name):
    # qtx.dask imports dask, which is needed only there.
    if name == "dask":
        import importlib
        return importlib.import_module(".dask", __name__)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")

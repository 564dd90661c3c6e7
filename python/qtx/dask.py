"""Many QTX files as one dask DataFrame, each file split into partitions.

    import qtx.dask
    frame = qtx.dask.read_dataframe("archive/*.qtx", section=0)
    frame.mean().compute()   # on dask's threads, or a dask.distributed Client

Each partition is Section.to_pandas() of a range of rows of one file, read
on one thread. read_dataframe scans the files (several at once) to learn
their rows and layout: the layout (X_Columns, the X heading and the Y
headings) must be that of the first file, or a ValueError names both files.
A partition reads its rows from the place the scan found for them, without
scanning the file again, unless the file has changed since.

time="absolute" (with tz=, ambiguous=, nonexistent=, start=, x_unit= as
to_pandas takes them) gives a DatetimeIndex, each file on its own clock:

    frame = qtx.dask.read_dataframe("runs/*.qtx", time="absolute", tz="Europe/Berlin")
"""

import concurrent.futures
import errno
import glob
import operator
import os
import warnings

import dask.dataframe as dd
import numpy as np

import qtx
from qtx import _qtx
from qtx import _time

# Bytes of values a partition holds by default.
PARTITION_BYTES = 64 * 2**20


def _paths(paths_or_glob):
    if isinstance(paths_or_glob, (str, os.PathLike)):
        pattern = os.fspath(paths_or_glob)
        if not any(c in pattern for c in "*?["):
            return [pattern]
        paths = sorted(glob.glob(pattern))
        if not paths:
            raise FileNotFoundError(errno.ENOENT, "no file matches", pattern)
        return paths
    paths = [os.fspath(p) for p in paths_or_glob]
    if not paths:
        raise ValueError("no files given")
    return paths


def _describe(layout):
    mode, _, x_heading, headings = layout
    x = f", X {x_heading!r}" if x_heading is not None else ""
    return f"X_Columns {mode}{x}, channels {list(headings)}"


def _stamp(path):
    """What tells whether a file changed since it was scanned."""
    status = os.stat(path)
    return status.st_size, status.st_mtime_ns


def _section(f, path, section, first):
    if not -len(f) <= section < len(f):
        raise ValueError(f"{path} has no section {section}" + (f"; {first} has" if first else ""))
    return f[section]


def _check_layout(found, layout, path, section, first):
    if found != layout:
        raise ValueError(f"{path}, section {section} has {_describe(found)}; "
                         f"{first}, the first file, has {_describe(layout)}")


class _Partition:
    """Rows [start, start + count) of one file's section, and how to read them."""

    def __init__(self, path, section, layout, first, chosen, shared, state, stamp, start, count, time):
        self.path, self.section, self.layout, self.first = path, section, layout, first
        self.chosen, self.shared, self.state, self.stamp = chosen, shared, state, stamp
        self.start, self.count = start, count
        self.time, self.clocks = time  # to_pandas' time arguments, and the file's clocks for them (or None)


def _path_column(frame, name, path, paths):
    """The frame with a column `name` saying which file each row came from,
    categorical over all the files, as dask.dataframe.read_csv gives it."""
    import pandas as pd
    if name is not None:
        frame[name] = pd.Categorical([path] * len(frame), categories=paths)
    return frame


def _read_partition(part, path_column=None, paths=()):
    indices = [c.index for c in part.chosen]
    if _stamp(part.path) == part.stamp:
        x, block = _qtx.read_block_at(os.fsencode(part.path), part.state, part.start, part.count, indices,
                                      not part.shared)
        frame = qtx._frame(part.chosen, part.shared, x, block, part.start)
        if part.clocks is not None:
            frame = _on_clocks(frame, part.chosen, part.shared, part.clocks, part.time)
    else:  # the file changed since the graph was made: scan it again
        with qtx.open(part.path) as f:
            s = _section(f, part.path, part.section, part.first)
            _check_layout(s._layout(), part.layout, part.path, part.section, part.first)
            _clocks(s, part.path, part.chosen, part.shared, part.time)
            frame = s.to_pandas(indices, rows=slice(part.start, part.start + part.count), threads=1, **part.time)
    return _path_column(frame, path_column, part.path, paths)


def _open(path, section, first, layout):
    """The file scanned, its stamp, and its section, whose layout must be
    `layout` (unless None)."""
    f = qtx.open(path)
    try:
        stamp = _stamp(path)
        s = _section(f, path, section, first)
        if layout is not None:
            _check_layout(s._layout(), layout, path, section, first)
        if s.rows_in_file < s.n_rows:
            warnings.warn(f"{path}, section {section} declares {s.n_rows} rows; the file holds {s.rows_in_file}",
                          qtx.ShortSectionWarning, stacklevel=3)
        return f, stamp, s
    except BaseException:
        f.close()
        raise


def _on_clocks(frame, chosen, shared, clocks, time):
    return _time.on_clocks(frame, chosen, shared, clocks, time["tz"], time["ambiguous"], time["nonexistent"])


def _clocks(s, path, chosen, shared, time):
    """The (start_ns, ns_per_unit) of each chosen channel of section s for
    time="absolute", else None. Channels that start apart would need an X
    each, which the shared index of the frame has not."""
    indices = [c.index for c in chosen]
    if s._own_clocks(indices, time["time"], time["start"]) and shared:
        raise ValueError(f"{path}, section {s.index}: its channels start at different times, but the frame gives "
                         "them one index; read them with columns= a start at a time, or give start=")
    if time["time"] != "absolute":
        return None
    return _time.resolve(s, chosen, time["start"], time["x_unit"])


def _partitions(opened, path, layout, first, chosen, step, time):
    """The partitions of a file _open() gave, which it closes: one at
    least, empty when the file holds no rows."""
    f, stamp, s = opened
    with f:
        clocks = (time, _clocks(s, path, chosen, layout[1], time))
        return [_Partition(path, s.index, layout, first, chosen, layout[1], f._native.partition_state(s.index, start),
                           stamp, start, min(step, s.rows_in_file - start), clocks)
                for start in range(0, max(s.rows_in_file, 1), step)]


def read_dataframe(paths_or_glob, section=0, rows_per_partition=None, columns=None, include_path_column=False, *,
                   time=None, tz=None, ambiguous="raise", nonexistent="raise", start=None, x_unit=None):
    """A dask DataFrame of one section of each file: a list of paths, one
    path, or a glob pattern (matches in sorted order). Every file is split
    into partitions of at most `rows_per_partition` rows (default: about
    64 MB of values each), through the rows it holds. `columns`: the Y
    headings to read, by default all. include_path_column adds a
    categorical column of the file each row comes from: True names it
    'path', a str names it so (as dask.dataframe.read_csv does).
    time, tz, ambiguous, nonexistent, start and x_unit as for to_pandas():
    time="absolute" puts each file's rows on its own start; a partition
    localises its own rows, so ambiguous="infer" sees only those."""
    paths = _paths(paths_or_glob)
    times = dict(time=time, tz=tz, ambiguous=ambiguous, nonexistent=nonexistent, start=start, x_unit=x_unit)
    path_column = "path" if include_path_column is True else include_path_column or None
    if path_column is not None and not isinstance(path_column, str):
        raise TypeError(f"include_path_column must be a bool or a str, not {type(include_path_column).__name__}")
    opened = _open(paths[0], section, None, None)
    try:
        first = opened[2]
        layout = first._layout()
        chosen = [first.channels[i] for i in first._select(columns)[0]]
        if not chosen:
            raise ValueError("no column selected")
        shared = layout[1]
        if rows_per_partition is None:
            rows_per_partition = max(1, PARTITION_BYTES // (8 * (len(chosen) + 1 if shared else 2 * len(chosen))))
        step = operator.index(rows_per_partition)
        if step < 1:
            raise ValueError(f"rows_per_partition must be at least 1, not {step}")
    except BaseException:
        opened[0].close()
        raise
    parts = _partitions(opened, paths[0], layout, paths[0], chosen, step, times)
    # The other files are scanned a few at once: the scan lets go of the GIL.
    def scan(path):
        return _partitions(_open(path, section, paths[0], layout), path, layout, paths[0], chosen, step, times)
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        for more in pool.map(scan, paths[1:]):
            parts.extend(more)
    # The empty frame that tells dask the columns and types.
    meta = qtx._frame(chosen, shared, np.empty(0), np.empty((0, len(chosen) * (1 if shared else 2))))
    if parts[0].clocks is not None:
        meta = _on_clocks(meta, chosen, shared, parts[0].clocks, times)
    if path_column is not None and path_column in meta.columns:
        raise ValueError(f"the files already have a column {path_column!r}; give include_path_column another name")
    meta = _path_column(meta, path_column, None, paths)
    return dd.from_map(_read_partition, parts, meta=meta, label="read-qtx", enforce_metadata=False,
                       path_column=path_column, paths=paths)

"""Many QTX files as one dask DataFrame, one partition per file.

    import qtx.dask
    frame = qtx.dask.read_dataframe("archive/*.qtx", section=0)
    frame.mean().compute()   # on dask's threads, or a dask.distributed Client

Each partition is Section.to_pandas() of one file. The layout (X_Columns,
the X heading and the Y headings) is taken from the first file; a file that
differs fails its partition with a ValueError naming both files.
"""

import errno
import glob
import os

import dask.dataframe as dd
import numpy as np

import qtx


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


def _read_partition(path, section, layout, first):
    with qtx.open(path) as f:
        if not -len(f) <= section < len(f):
            raise ValueError(f"{path} has no section {section}; {first} has")
        found = f[section]._layout()
        if found != layout:
            raise ValueError(f"{path}, section {section} has {_describe(found)}; "
                             f"{first}, the first file, has {_describe(layout)}")
        return f[section].to_pandas()


def read_dataframe(paths_or_glob, section=0):
    """A dask DataFrame of one section of each file: a list of paths, one
    path, or a glob pattern (matches in sorted order)."""
    paths = _paths(paths_or_glob)
    with qtx.open(paths[0]) as f:
        first = f[section]
        layout = first._layout()
        chosen = list(first.channels)
    # The empty frame that tells dask the columns and types.
    shared = layout[1]
    meta = qtx._frame(chosen, shared, np.empty(0), np.empty((0, len(chosen) * (1 if shared else 2))))
    return dd.from_map(_read_partition, paths, section=section, layout=layout, first=paths[0], meta=meta,
                       label="read-qtx", enforce_metadata=False)

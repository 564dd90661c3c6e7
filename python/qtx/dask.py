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


def _path_column(frame, name, path, paths):
    """The frame with a column `name` saying which file each row came from,
    categorical over all the files, as dask.dataframe.read_csv gives it."""
    import pandas as pd
    if name is not None:
        frame[name] = pd.Categorical([path] * len(frame), categories=paths)
    return frame


def _read_partition(path, section, layout, first, path_column=None, paths=()):
    with qtx.open(path) as f:
        if not -len(f) <= section < len(f):
            raise ValueError(f"{path} has no section {section}; {first} has")
        found = f[section]._layout()
        if found != layout:
            raise ValueError(f"{path}, section {section} has {_describe(found)}; "
                             f"{first}, the first file, has {_describe(layout)}")
        return _path_column(f[section].to_pandas(), path_column, path, paths)


def read_dataframe(paths_or_glob, section=0, include_path_column=False):
    """A dask DataFrame of one section of each file: a list of paths, one
    path, or a glob pattern (matches in sorted order). include_path_column
    adds a categorical column of the file each row comes from: True names it
    'path', a str names it so (as dask.dataframe.read_csv does)."""
    paths = _paths(paths_or_glob)
    path_column = "path" if include_path_column is True else include_path_column or None
    if path_column is not None and not isinstance(path_column, str):
        raise TypeError(f"include_path_column must be a bool or a str, not {type(include_path_column).__name__}")
    with qtx.open(paths[0]) as f:
        first = f[section]
        layout = first._layout()
        chosen = list(first.channels)
    # The empty frame that tells dask the columns and types.
    shared = layout[1]
    meta = qtx._frame(chosen, shared, np.empty(0), np.empty((0, len(chosen) * (1 if shared else 2))))
    if path_column is not None and path_column in meta.columns:
        raise ValueError(f"the files already have a column {path_column!r}; give include_path_column another name")
    meta = _path_column(meta, path_column, None, paths)
    return dd.from_map(_read_partition, paths, section=section, layout=layout, first=paths[0], meta=meta,
                       label="read-qtx", enforce_metadata=False, path_column=path_column, paths=paths)

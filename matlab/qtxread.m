function d = qtxread(varargin)
%QTXREAD Read a section of a QTX file into a struct.
%   d = qtxread(file) reads the first section, every channel and row.
%   d = qtxread(file, 'Section', n, 'Channels', c, 'Rows', [first count], 'Threads', t)
%     Section   the section, from 1 (default 1)
%     Channels  a cell array of headings, {'U','I'}, or channel numbers from 1, [1 3]
%     Rows      [first count]: rows first, first+1, ... from 1; count may be Inf
%     Threads   threads the read is split over; 0: one per core (default 1)
%
%   d.X           the X values, once, where the channels share them (X_Columns
%                 One, or No with one X0 and Delta_X); otherwise d.<name>_X
%   d.<name>      a column per channel, its field named after its heading made a
%                 valid name (as qtx export names MAT fields)
%   d.channels    struct array: name, heading, unit, dimension, x_heading, x_unit,
%                 x_dimension, Samples, X0, Delta_X, index, date, time
%   d.info        file, description, date, time, time_pref, x_columns, section,
%                 first_row, rows, rows_in_file
%   Values are those of the library's C interface, bit for bit. Rows the file
%   lacks (a file cut short) are NaN. Errors have identifiers qtx:open,
%   qtx:format, qtx:badArgument, qtx:io, qtx:memory.
%
%   See also QTXINFO, QTXWRITE.
d = qtxmex('read', varargin{:});
end

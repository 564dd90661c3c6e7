function info = qtxinfo(varargin)
%QTXINFO What a QTX file holds: sections, channels, rows declared and held, metadata.
%   info = qtxinfo(file) gives a struct: file, description, date, time,
%   time_pref, x_columns and sections, a struct array of index, rows (declared),
%   rows_in_file and channels (as qtxread's d.channels).
%   qtxinfo(file) without an output prints it as a table.
%
%   See also QTXREAD, QTXWRITE.
if nargout == 0
  qtxmex('info', varargin{:});
else
  info = qtxmex('info', varargin{:});
end
end

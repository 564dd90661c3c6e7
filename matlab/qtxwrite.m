function qtxwrite(varargin)
%QTXWRITE Write a QTX file of one section.
%   qtxwrite(file, X, Y) writes the columns of Y (rows x channels) as
%   channels with the X column X (X_Columns One).
%   qtxwrite(file, X, Y, name, value, ...) with the options
%     Mode        'One' (one X column, the default), 'Multi' (X a matrix as Y,
%                 or one vector for all) or 'No' (no X column: X = [], the
%                 grid from X0 and Delta_X)
%     Headings    a text or a cell array of texts, one per column (Y1, Y2, ...)
%     Units       the same for the units (-)
%     Dimensions  the same for the dimensions (the headings)
%     XHeading, XUnit, XDimension   texts of the X column (X_Value, -, XHeading)
%     X0, Delta_X one number or one per channel (mode No: 0 and 1, at most 7
%                 significant digits; otherwise the first X and the mean step)
%     Description the main header's description
%   Every finite value and infinity reads back with qtxread bit for bit. The
%   file is written to a temporary file beside it and renamed into place when
%   complete: a failed write leaves an existing file as it was.
%
%   See also QTXREAD, QTXINFO.
qtxmex('write', varargin{:});
end

% The MEX functions under Octave: values bit for bit in every X mode, NaN for
% rows a file lacks, names and metadata, a write that fails, every error
% identifier and a table of bad arguments. Run by ctest (matlab.octave) with
% `sample` (examples/sample.qtx) and `scratch` (an empty folder) defined, the
% MEX folder on the path and a file size limit of 4 MiB.
1;

function same = same_bits(a, b)
  same = isequal(size(a), size(b)) && isequal(typecast(a(:), 'uint64'), typecast(b(:), 'uint64'));
end

function check(condition, what)
  if ~condition
    error('test:failed', 'failed: %s', what);
  end
end

function id = error_of(f)
  id = '';
  try
    f();
  catch err
    id = err.identifier;
  end
end

function write_text(path, text)
  fid = fopen(path, 'w');
  fprintf(fid, '%s', text);
  fclose(fid);
end

% Values from every corner, each of which must come back with its bits.
corners = [0.1; -0; 0; 1/3; 5e-324; -2.2250738585072014e-308; realmax; -1e300; 123456789.123; 1e-7; ...
           9007199254740993; -Inf; Inf; pi; -exp(1)];
n = numel(corners);
Y = [corners, flipud(corners), circshift(corners, 4)];
Xm = [(0:n-1)' * 0.001, circshift(corners, 2), -(1:n)'];

% ---- Every mode: write, read back bit for bit, whole and in ranges --------
modes = {'No', 'One', 'Multi'};
for m = 1:3
  f = fullfile(scratch, sprintf('mode-%s.qtx', modes{m}));
  switch modes{m}
    case 'No'
      qtxwrite(f, [], Y, 'Mode', 'No', 'X0', [0.5 0.5 -1.5], 'Delta_X', [0.25 0.25 0.125]);
      want = {0.5 + (0:n-1)' * 0.25, 0.5 + (0:n-1)' * 0.25, -1.5 + (0:n-1)' * 0.125};
    case 'One'
      qtxwrite(f, Xm(:, 1), Y, 'Mode', 'one');
      want = {Xm(:, 1), Xm(:, 1), Xm(:, 1)};
    case 'Multi'
      qtxwrite(f, Xm, Y, 'Mode', 'MULTI');
      want = {Xm(:, 1), Xm(:, 2), Xm(:, 3)};
  end
  d = qtxread(f);
  check(strcmp(d.info.x_columns, modes{m}), ['mode of ' f]);
  check(same_bits(d.Y1, Y(:, 1)) && same_bits(d.Y2, Y(:, 2)) && same_bits(d.Y3, Y(:, 3)), ['Y bits, ' f]);
  if strcmp(modes{m}, 'One')
    check(isfield(d, 'X') && same_bits(d.X, want{1}) && ~isfield(d, 'Y1_X'), 'one shared X');
  else
    % Mode No with two grids, and mode Multi: an X per channel.
    check(~isfield(d, 'X') && same_bits(d.Y1_X, want{1}) && same_bits(d.Y3_X, want{3}), ['X bits, ' f]);
  end
  % A range of chosen channels, on two threads: the same bits at the same rows.
  r = qtxread(f, 'Channels', [3 1], 'Rows', [5 4], 'Threads', 2);
  check(same_bits(r.Y3, Y(5:8, 3)) && same_bits(r.Y1, Y(5:8, 1)) && ~isfield(r, 'Y2'), ['range, ' f]);
  check(isequal([r.channels.index], [3 1]) && r.info.first_row == 5 && r.info.rows == 4, ['range info, ' f]);
  r = qtxread(f, 'channels', {'Y2'}, 'rows', [n Inf], 'threads', 0);
  check(same_bits(r.Y2, Y(n, 2)), ['last row, ' f]);
  r = qtxread(f, 'Rows', [n + 1 5]);
  check(isempty(r.Y1) && r.info.rows == 0, ['no rows, ' f]);
end
% Mode No with one grid: X once.
f = fullfile(scratch, 'no-shared.qtx');
qtxwrite(f, [], Y(:, 1:2), 'Mode', 'No', 'X0', 2.5, 'Delta_X', 1e-3);
d = qtxread(f);
check(isfield(d, 'X') && same_bits(d.X, 2.5 + (0:n-1)' * 1e-3), 'mode No, one grid');

% ---- The sample: its values as written in the text ------------------------
d = qtxread(sample);
check(same_bits(d.X, [0; 0.001; 0.002]) && same_bits(d.In1, [0.5; 0.6; 0.7]) && same_bits(d.In2, [0.1; 0.2; 0.3]), ...
      'the sample''s values');
check(strcmp(d.channels(2).unit, 'A') && strcmp(d.channels(2).dimension, 'Current') && ...
      d.channels(2).Samples == 3 && d.channels(2).Delta_X == 0.001 && strcmp(d.info.description, ...
      'Generated from Tessaron') && strcmp(d.info.date, '2024/03/05'), 'the sample''s labels');
info = qtxinfo(sample);
check(numel(info.sections) == 1 && info.sections.rows == 3 && info.sections.rows_in_file == 3 && ...
      strcmp(info.sections.channels(1).heading, 'In1') && strcmp(info.time_pref, 'Relative'), 'qtxinfo');
table = evalc('qtxinfo(sample)');
check(~isempty(strfind(table, 'section 1: 2 channel(s), 3 rows declared, 3 in the file')), 'qtxinfo table');

% ---- A file cut short: NaN, never 0; a short channel its own rows ---------
f = fullfile(scratch, 'short.qtx');
write_text(f, sprintf(['X_Columns\tOne\n***End_of_Header***\n\nChannels\t2\nSamples\t5\t3\n***End_of_Header***\n' ...
                       't\tA\tB\n0\t1\t10\n1\t2\t20\n']));
d = qtxread(f);
check(same_bits(d.A, [1; 2; NaN; NaN; NaN]) && same_bits(d.B, [10; 20; NaN]) && same_bits(d.X, [0; 1; NaN; NaN; NaN]), ...
      'rows the file lacks are NaN');
check(d.info.rows == 5 && d.info.rows_in_file == 2, 'rows declared and held');
d = qtxread(f, 'Channels', {'B'}, 'Rows', [2 3]);
check(same_bits(d.B, [20; NaN]), 'a range past the short channel''s end');

% ---- Names as qtx export makes them; labels written and read back ---------
f = fullfile(scratch, 'names.qtx');
qtxwrite(f, (1:2)', [1 2 3 4 5; 6 7 8 9 10], 'Headings', {'U a', '1I', 'U a', 'info', 'Ü'}, ...
         'Units', {'V', 'A', 'V', '-', 'kg'}, 'Dimensions', 'Size', 'XHeading', 'Time', 'XUnit', 's', ...
         'Description', 'Run 7');
d = qtxread(f);
check(isequal({d.channels.name}, {'U_a', 'ch_1I', 'U_a_2', 'info_2', 'ch___'}), 'field names');
check(isequal({d.channels.heading}, {'U a', '1I', 'U a', 'info', 'Ü'}) && ...
      isequal({d.channels.unit}, {'V', 'A', 'V', '-', 'kg'}) && strcmp(d.channels(3).dimension, 'Size') && ...
      strcmp(d.channels(1).x_heading, 'Time') && strcmp(d.channels(1).x_unit, 's') && ...
      strcmp(d.info.description, 'Run 7') && same_bits(d.U_a_2, [3; 8]), 'labels read back');
r = qtxread(f, 'Channels', {'Ü', 'U a'});
check(isequal({r.channels.name}, {'ch___', 'U_a'}) && same_bits(r.ch___, [5; 10]), 'channels by heading');

% ---- A write that fails leaves the old file and no temporary file --------
f = fullfile(scratch, 'kept.qtx');
qtxwrite(f, [0; 1], [1; 2]);
before = dir(scratch);
big = rand(200000, 3);
check(strcmp(error_of(@() qtxwrite(f, (1:200000)', big)), 'qtx:io'), 'a write past the size limit is qtx:io');
check(isequal(sort({dir(scratch).name}), sort({before.name})), 'no temporary file left');
d = qtxread(f);
check(same_bits(d.Y1, [1; 2]), 'the old file is whole');
qtxwrite(f, [0; 1], [3; 4]);
d = qtxread(f);
check(same_bits(d.Y1, [3; 4]), 'a complete write replaces the file');

% ---- Every error identifier, and a table of bad arguments -----------------
folder = fullfile(scratch, 'folder');
mkdir(folder);
noheader = fullfile(scratch, 'noheader.qtx');
write_text(noheader, sprintf('Separator\tTab\n'));
huge = fullfile(scratch, 'huge.qtx');
write_text(huge, sprintf('***End_of_Header***\nChannels\t2147483647\n'));
missing = fullfile(scratch, 'no-such-file.qtx');
out = fullfile(scratch, 'out.qtx');
cases = {
  'qtx:open',        @() qtxread(missing)
  'qtx:open',        @() qtxread(folder)
  'qtx:open',        @() qtxinfo(missing)
  'qtx:open',        @() qtxwrite(folder, 1, 1)
  'qtx:open',        @() qtxwrite(fullfile(missing, 'x.qtx'), 1, 1)
  'qtx:format',      @() qtxread(noheader)
  'qtx:memory',      @() qtxinfo(huge)
  'qtx:badArgument', @() qtxread()
  'qtx:badArgument', @() qtxread('')
  'qtx:badArgument', @() qtxread(42)
  'qtx:badArgument', @() qtxread({sample})
  'qtx:badArgument', @() qtxread(['ab'; 'cd'])
  'qtx:badArgument', @() qtxread(sample, 'Section')
  'qtx:badArgument', @() qtxread(sample, 42, 1)
  'qtx:badArgument', @() qtxread(sample, 'Bogus', 1)
  'qtx:badArgument', @() qtxread(sample, 'Section', 0)
  'qtx:badArgument', @() qtxread(sample, 'Section', 2)
  'qtx:badArgument', @() qtxread(sample, 'Section', 1.5)
  'qtx:badArgument', @() qtxread(sample, 'Section', NaN)
  'qtx:badArgument', @() qtxread(sample, 'Section', [1 1])
  'qtx:badArgument', @() qtxread(sample, 'Section', '1')
  'qtx:badArgument', @() qtxread(sample, 'Section', 1i)
  'qtx:badArgument', @() qtxread(sample, 'Channels', {})
  'qtx:badArgument', @() qtxread(sample, 'Channels', [])
  'qtx:badArgument', @() qtxread(sample, 'Channels', {'nope'})
  'qtx:badArgument', @() qtxread(sample, 'Channels', {1})
  'qtx:badArgument', @() qtxread(sample, 'Channels', {''})
  'qtx:badArgument', @() qtxread(sample, 'Channels', [0])
  'qtx:badArgument', @() qtxread(sample, 'Channels', [3])
  'qtx:badArgument', @() qtxread(sample, 'Channels', [1 1])
  'qtx:badArgument', @() qtxread(sample, 'Channels', [1 2 1])
  'qtx:badArgument', @() qtxread(sample, 'Channels', int8(-1))
  'qtx:badArgument', @() qtxread(sample, 'Channels', 'In1')
  'qtx:badArgument', @() qtxread(sample, 'Channels', struct('a', 1))
  'qtx:badArgument', @() qtxread(sample, 'Rows', 1)
  'qtx:badArgument', @() qtxread(sample, 'Rows', [0 1])
  'qtx:badArgument', @() qtxread(sample, 'Rows', [5 1])
  'qtx:badArgument', @() qtxread(sample, 'Rows', [1 -1])
  'qtx:badArgument', @() qtxread(sample, 'Rows', [1 NaN])
  'qtx:badArgument', @() qtxread(sample, 'Rows', [1.5 1])
  'qtx:badArgument', @() qtxread(sample, 'Rows', int32([1 1]))
  'qtx:badArgument', @() qtxread(sample, 'Threads', -1)
  'qtx:badArgument', @() qtxread(sample, 'Threads', 1e6)
  'qtx:badArgument', @() qtxinfo()
  'qtx:badArgument', @() qtxinfo(sample, 1)
  'qtx:badArgument', @() qtxwrite(out, 1)
  'qtx:badArgument', @() qtxwrite(out, 1, 'text')
  'qtx:badArgument', @() qtxwrite(out, 1, single(1))
  'qtx:badArgument', @() qtxwrite(out, 1, 1i)
  'qtx:badArgument', @() qtxwrite(out, [], zeros(3, 0))
  'qtx:badArgument', @() qtxwrite(out, [], ones(2, 2, 2))
  'qtx:badArgument', @() qtxwrite(out, [1 2], [1; 2; 3])
  'qtx:badArgument', @() qtxwrite(out, {1}, 1)
  'qtx:badArgument', @() qtxwrite(out, 1, 1, 'Mode', 'Sideways')
  'qtx:badArgument', @() qtxwrite(out, 1, 1, 'Mode', 2)
  'qtx:badArgument', @() qtxwrite(out, 1, 1, 'Mode', 'No')
  'qtx:badArgument', @() qtxwrite(out, [], 1, 'Mode', 'No', 'X0', 0.12345678)
  'qtx:badArgument', @() qtxwrite(out, [], 1, 'Mode', 'No', 'Delta_X', Inf)
  'qtx:badArgument', @() qtxwrite(out, [], [1 2; 3 4], 'Mode', 'No', 'X0', [1 2 3])
  'qtx:badArgument', @() qtxwrite(out, [1; 2], [1 2; 3 4], 'Mode', 'Multi', 'X0', 'a')
  'qtx:badArgument', @() qtxwrite(out, ones(2, 3), [1 2; 3 4], 'Mode', 'Multi')
  'qtx:badArgument', @() qtxwrite(out, [1; 2], [1 2; 3 4], 'Headings', {'a'})
  'qtx:badArgument', @() qtxwrite(out, [1; 2], [1 2; 3 4], 'Headings', {'a', 2})
  'qtx:badArgument', @() qtxwrite(out, 1, 1, 'Headings', sprintf('a\tb'))
  'qtx:badArgument', @() qtxwrite(out, 1, 1, 'Headings', 'ends in a space ')
  'qtx:badArgument', @() qtxwrite(out, 1, 1, 'Headings', '')
  'qtx:badArgument', @() qtxwrite(out, 1, 1, 'Units', {'V', 'A'})
  'qtx:badArgument', @() qtxwrite(out, 1, 1, 'XHeading', sprintf('t\n'))
  'qtx:badArgument', @() qtxwrite(out, 1, 1, 'Description', 7)
  'qtx:badArgument', @() qtxwrite(out, 1, 1, 'Headings')
  'qtx:badArgument', @() qtxwrite('', 1, 1)
  'qtx:badArgument', @() qtxmex()
  'qtx:badArgument', @() qtxmex(42)
  'qtx:badArgument', @() qtxmex('bogus')
  'qtx:badArgument', @() qtxmex('read')
  'qtx:badArgument', @() qtxmex('write', out)
};
for k = 1:rows(cases)
  got = error_of(cases{k, 2});
  check(strcmp(got, cases{k, 1}), sprintf('%s gives %s, not ''%s''', func2str(cases{k, 2}), cases{k, 1}, got));
end
check(~exist(out, 'file'), 'no refused write created its file');
try
  qtxread(missing);
catch err
  check(~isempty(strfind(err.message, missing)) && isempty(strfind(err.message, sprintf('\n'))), ...
        'one line that names the file');
end
printf('matlab.octave: %d error cases, every mode, all passed\n', rows(cases));

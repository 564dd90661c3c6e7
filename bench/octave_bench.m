% qtxread against Octave's own dlmread and textscan, side by side in one run,
% on the data benchmark's file: 1,000,000 rows of 8 channels in mode One with
% the tab separator (X as %.6f, Y with 7 significant digits, half in %e form),
% about 115 MB, generated here. Each reader's best of `repeats` runs, after
% one run that brings the file into the page cache.
%
%   octave-cli --no-gui --eval "addpath('build/matlab'); file = '/tmp/bench.qtx'; source('bench/octave_bench.m')"
%
% `file` names where the file is written (kept for the next run); `repeats`
% defaults to 3.
if ~exist('file', 'var')
  file = fullfile(tempdir, 'qtx-octave-bench.qtx');
end
if ~exist('repeats', 'var')
  repeats = 3;
end
rows = 1000000;
channels = 8;
header_lines = 9;
if ~exist(file, 'file')
  rand('seed', 42);
  values = -1000 + 2000 * rand(rows, channels);
  fid = fopen(file, 'w');
  fprintf(fid, 'Quorset Measurement\t\nSeparator\tTab\nX_Columns\tOne\n***End_of_Header***\t\n');
  fprintf(fid, '\nChannels\t%d\nSamples%s\t\n***End_of_Header***\t\nTime%s\tComment\n', channels, ...
          sprintf('\t\t%d', rows * ones(1, channels)), sprintf('\tIn%d', 0:channels - 1));
  fprintf(fid, ['%.6f' repmat('\t%.7g\t%.6e', 1, channels / 2) '\n'], [(0:rows - 1)' * 0.001, values]');
  fclose(fid);
end
listing = dir(file);
printf('%s: %d rows x %d channels, %.0f MB\n', file, rows, channels, listing.bytes / 1e6);

function best = best_of(repeats, f)
  f();  % the file into the page cache
  best = Inf;
  for k = 1:repeats
    t = tic;
    f();
    best = min(best, toc(t));
  end
end

format_spec = repmat('%f', 1, channels + 1);
read_qtx = @() qtxread(file);
read_qtx2 = @() qtxread(file, 'Threads', 2);
read_dlm = @() dlmread(file, '\t', header_lines, 0);
function c = read_textscan(file, format_spec, header_lines)
  fid = fopen(file, 'r');
  c = textscan(fid, format_spec, 'HeaderLines', header_lines, 'Delimiter', '\t', 'CollectOutput', true);
  fclose(fid);
end
read_text = @() read_textscan(file, format_spec, header_lines);

% The values of each reader: dlmread converts as the library does; textscan's
% %f is not always the nearest double (a unit in the last place off).
d = read_qtx();
m = read_dlm();
c = read_text();
q = [d.X, d.In0, d.In1, d.In2, d.In3, d.In4, d.In5, d.In6, d.In7];
same_dlm = isequal(q, m);
off_text = mean(q(:) ~= c{1}(:));
worst_text = max(abs(q(:) - c{1}(:)) ./ max(abs(q(:)), realmin));
clear d m c q;

t_qtx = best_of(repeats, read_qtx);
t_qtx2 = best_of(repeats, read_qtx2);
t_dlm = best_of(repeats, read_dlm);
t_text = best_of(repeats, read_text);
printf('qtxread and dlmread the same bits: %d; textscan %.0f%% of the values off, by at most %.1g relative\n', ...
       same_dlm, 100 * off_text, worst_text);
printf('%-26s %8.3f s\n', 'qtxread', t_qtx);
printf('%-26s %8.3f s\n', 'qtxread, Threads 2', t_qtx2);
printf('%-26s %8.3f s  (%.1fx qtxread)\n', 'dlmread', t_dlm, t_dlm / t_qtx);
printf('%-26s %8.3f s  (%.1fx qtxread)\n', 'textscan', t_text, t_text / t_qtx);

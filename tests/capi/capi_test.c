/* The C interface from C: reading the sample, every refused argument,
 * writing files in each mode that read back bit for bit, the time step and
 * the resampler.
 *   capi_test SAMPLE.qtx SCRATCH_DIR */
#include <float.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "qtx/qtx.h"

static int failures = 0;
static int checks = 0;

#define CHECK(condition)                                                      \
  do {                                                                        \
    ++checks;                                                                 \
    if (!(condition)) {                                                       \
      ++failures;                                                             \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
    }                                                                         \
  } while (0)

static int SameBits(double a, double b) {
  return memcmp(&a, &b, sizeof a) == 0;
}

static void ReadsTheSample(const char* path) {
  qtx_file* file = NULL;
  qtx_settings settings;
  qtx_channel_info info;
  const char *name, *delimiters, *text;
  size_t length = 0;
  double x[6], y[6], cx[3], cy[3];
  uint32_t rows = 99;
  CHECK(qtx_open(path, &file) == QTX_OK && file != NULL);
  CHECK(qtx_section_count(file) == 1 && qtx_channel_count(file, 0) == 2 && qtx_row_count(file, 0) == 3);
  CHECK(qtx_get_settings(file, &settings) == QTX_OK && settings.x_columns == QTX_X_ONE &&
        settings.is_qtx_file);
  CHECK(qtx_get_separator(file, &name, &delimiters) == QTX_OK && !strcmp(name, "Tab") &&
        !strcmp(delimiters, "\t"));
  CHECK(qtx_get_channel_text(file, 0, 1, QTX_TEXT_Y_HEADING, &text, &length) == QTX_OK &&
        !strcmp(text, "In2") && length == 3);
  CHECK(qtx_get_channel_text(file, 0, 0, QTX_TEXT_Y_UNIT_LABEL, &text, NULL) == QTX_OK && !strcmp(text, "V"));
  CHECK(qtx_get_channel_info(file, 0, 1, &info) == QTX_OK && info.samples == 3 && info.delta_x == 0.001);
  /* The metadata as written, which the readers record beside the settings. */
  CHECK(qtx_get_file_text(file, QTX_FILE_DESCRIPTION, &text, &length) == QTX_OK &&
        !strcmp(text, "Generated from Tessaron") && length == 23);
  CHECK(qtx_get_file_text(file, QTX_FILE_TIME_PREF, &text, NULL) == QTX_OK && !strcmp(text, "Relative"));
  CHECK(qtx_get_file_text(file, QTX_FILE_DATE, &text, NULL) == QTX_OK && !strcmp(text, "2024/03/05"));
  CHECK(qtx_get_channel_text(file, 0, 1, QTX_TEXT_TIME, &text, NULL) == QTX_OK && !strcmp(text, "09:07:02"));
  CHECK(qtx_get_file_text(file, 4, &text, NULL) == QTX_ERR_ARGUMENT);
  {
    int64_t seconds = 1;
    uint32_t ns = 1;
    double scale = 0.0;
    CHECK(qtx_get_start_time(file, 0, 1, &seconds, &ns) == QTX_OK && seconds == 1709629622 && ns == 0);
    CHECK(qtx_get_x_seconds(file, 0, 0, &scale) == QTX_OK && scale == 1.0);
    CHECK(qtx_get_start_time(file, 0, 2, &seconds, &ns) == QTX_ERR_ARGUMENT && seconds == 0);
    CHECK(qtx_get_x_seconds(file, 0, 0, NULL) == QTX_ERR_ARGUMENT);
    CHECK(strcmp(qtx_status_text(QTX_ERR_NOT_TIME_UNIT), "unknown status") != 0);
  }

  /* Too little room: nothing written, nothing counted. */
  x[0] = 42.0;
  CHECK(qtx_read_section(file, 0, x, y, 2, &rows) == QTX_ERR_CAPACITY && rows == 0 && x[0] == 42.0);
  /* All channels in one pass, then one alone: the same values. */
  CHECK(qtx_read_section(file, 0, x, y, 3, &rows) == QTX_OK && rows == 3);
  CHECK(qtx_read_channel(file, 0, 1, cx, cy, 3, &rows) == QTX_OK && rows == 3);
  CHECK(!memcmp(cx, x + 3, sizeof cx) && !memcmp(cy, y + 3, sizeof cy) && x[1] == 0.001 && y[5] == 0.3);
  qtx_close(file);

  /* Null and out-of-range arguments. */
  CHECK(qtx_open(NULL, &file) == QTX_ERR_ARGUMENT && file == NULL &&
        qtx_open(path, NULL) == QTX_ERR_ARGUMENT);
  CHECK(qtx_open(path, &file) == QTX_OK && qtx_section_count(NULL) == -1 &&
        qtx_channel_count(file, 1) == -1 && qtx_channel_count(file, -1) == -1 &&
        qtx_row_count(file, 1) == 0 && qtx_row_count(NULL, 0) == 0);
  CHECK(qtx_get_channel_info(file, 0, 2, &info) == QTX_ERR_ARGUMENT &&
        qtx_get_settings(file, NULL) != QTX_OK &&
        qtx_get_channel_text(file, 0, 0, 8, &text, NULL) == QTX_ERR_ARGUMENT &&
        qtx_get_separator(NULL, &name, &delimiters) != QTX_OK);
  CHECK(qtx_read_channel(file, 0, -1, cx, cy, 3, &rows) == QTX_ERR_ARGUMENT && rows == 0 &&
        qtx_read_channel(file, 0, 2, cx, cy, 3, &rows) == QTX_ERR_ARGUMENT &&
        qtx_read_section(file, 1, x, y, 3, &rows) == QTX_ERR_ARGUMENT &&
        qtx_read_section(file, 0, NULL, y, 3, &rows) == QTX_ERR_ARGUMENT &&
        qtx_read_section(file, 0, x, y, 3, NULL) == QTX_ERR_ARGUMENT);
  qtx_close(file);
  qtx_close(NULL);
}

/* Every refused argument of every function, one row each: the status it
 * gives against the one it must. Each call leaves its outputs as said. */
static void EveryBadArgumentIsAStatus(const char* sample, const char* scratch) {
  qtx_file* file = NULL;
  qtx_writer *writer = NULL, *none = NULL, *multi = NULL, *refused = NULL;
  qtx_settings settings;
  qtx_channel_info info;
  const char *name, *delimiters, *text;
  double x[8] = {0}, y[8] = {0}, out[4];
  uint32_t rows = 7, written = 7;
  char path[1024];
  int i, which, status, named = 1;
  qtx_channel_setup good = {"In1", "t", "Voltage", "V", "Time", "s", 0.0, 1.0, 1}, bad[6];
  const char* unwritable[6] = {NULL, "", "a\tb", "a\rb", "V ", "V\f"};
  CHECK(qtx_open(sample, &file) == QTX_OK);
  snprintf(path, sizeof path, "%s/capi-arguments.qtx", scratch);
  CHECK(qtx_writer_create(path, QTX_X_ONE, &writer) == QTX_OK);
  snprintf(path, sizeof path, "%s/capi-arguments-no.qtx", scratch);
  CHECK(qtx_writer_create(path, QTX_X_NO, &none) == QTX_OK);
  snprintf(path, sizeof path, "%s/capi-arguments-multi.qtx", scratch);
  CHECK(qtx_writer_create(path, QTX_X_MULTI, &multi) == QTX_OK);
  for (i = 0; i < 6; ++i) bad[i] = good;
  bad[0].y_heading = unwritable[0];
  bad[1].x_heading = unwritable[1];
  bad[2].y_dimension = unwritable[2];
  bad[3].y_unit_label = unwritable[3];
  bad[4].x_dimension = unwritable[4];
  bad[5].x_unit_label = unwritable[5];
  {
    const struct {
      qtx_status got, want;
      const char* what;
    } cases[] = {
        {qtx_get_settings(NULL, &settings), QTX_ERR_ARGUMENT, "settings of no file"},
        {qtx_get_separator(file, NULL, &delimiters), QTX_ERR_ARGUMENT, "separator without a name"},
        {qtx_get_separator(file, &name, NULL), QTX_ERR_ARGUMENT, "separator without delimiters"},
        {qtx_get_channel_info(NULL, 0, 0, &info), QTX_ERR_ARGUMENT, "info of no file"},
        {qtx_get_channel_info(file, -1, 0, &info), QTX_ERR_ARGUMENT, "info of section -1"},
        {qtx_get_channel_info(file, 0, -1, &info), QTX_ERR_ARGUMENT, "info of channel -1"},
        {qtx_get_channel_info(file, 0, 0, NULL), QTX_ERR_ARGUMENT, "info into nothing"},
        {qtx_get_channel_text(file, 0, 0, -1, &text, NULL), QTX_ERR_ARGUMENT, "text -1"},
        {qtx_get_channel_text(file, 0, 0, QTX_TEXT_X_UNIT_LABEL, NULL, NULL), QTX_ERR_ARGUMENT, "text into nothing"},
        {qtx_get_channel_text(file, 0, 5, QTX_TEXT_Y_HEADING, &text, NULL), QTX_ERR_ARGUMENT, "text of channel 5"},
        {qtx_read_channel(file, 0, -1, x, y, 8, NULL), QTX_ERR_ARGUMENT, "channel -1 into no count"},
        {qtx_read_channel(NULL, 0, 0, x, y, 8, &rows), QTX_ERR_ARGUMENT, "a channel of no file"},
        {qtx_read_section(file, -1, x, y, 8, &rows), QTX_ERR_ARGUMENT, "section -1"},
        {qtx_read_section(file, 0, x, NULL, 8, &rows), QTX_ERR_ARGUMENT, "no Y array"},
        {qtx_read_section(file, 0, NULL, NULL, 0, &rows), QTX_ERR_CAPACITY, "no arrays for 3 rows"},
        {qtx_writer_create(NULL, QTX_X_ONE, &refused), QTX_ERR_ARGUMENT, "a writer on no path"},
        {qtx_writer_create(path, QTX_X_ONE, NULL), QTX_ERR_ARGUMENT, "a writer into nothing"},
        {qtx_writer_create(path, -1, &refused), QTX_ERR_ARGUMENT, "mode -1"},
        {qtx_writer_create(path, 3, &refused), QTX_ERR_ARGUMENT, "mode 3"},
        {qtx_writer_create(scratch, QTX_X_ONE, &refused), QTX_ERR_ACCESS, "a writer on a folder"},
        {qtx_write_section_header(NULL, &good, 1), QTX_ERR_ARGUMENT, "a header to no writer"},
        {qtx_write_section_header(writer, NULL, 1), QTX_ERR_ARGUMENT, "a header of no channels"},
        {qtx_write_section_header(writer, &good, 0), QTX_ERR_ARGUMENT, "a header of 0 channels"},
        {qtx_write_section_header(writer, &bad[0], 1), QTX_ERR_ARGUMENT, "no Y heading"},
        {qtx_write_section_header(writer, &bad[1], 1), QTX_ERR_ARGUMENT, "an empty X heading"},
        {qtx_write_section_header(writer, &bad[2], 1), QTX_ERR_ARGUMENT, "a tab in the Y dimension"},
        {qtx_write_section_header(writer, &bad[3], 1), QTX_ERR_ARGUMENT, "a CR in the Y unit"},
        {qtx_write_section_header(writer, &bad[4], 1), QTX_ERR_ARGUMENT, "a space at the end"},
        {qtx_write_section_header(writer, &bad[5], 1), QTX_ERR_ARGUMENT, "a form feed at the end"},
        {qtx_write_rows(NULL, x, y, 1), QTX_ERR_ARGUMENT, "rows to no writer"},
        {qtx_write_rows(writer, x, NULL, 1), QTX_ERR_ARGUMENT, "rows without Y"},
        {qtx_write_rows(writer, NULL, y, 1), QTX_ERR_ARGUMENT, "rows without X in mode One"},
        {qtx_write_rows(writer, x, y, 1), QTX_ERR_ROWS, "rows before a section header"},
        {qtx_writer_close(NULL), QTX_OK, "closing no writer"},
        {qtx_resample(NULL, y, 2, 0.0, 1.0, out, 4, &written), QTX_ERR_ARGUMENT, "resampling no X"},
        {qtx_resample(x, NULL, 2, 0.0, 1.0, out, 4, &written), QTX_ERR_ARGUMENT, "resampling no Y"},
        {qtx_resample(x, y, 2, 0.0, 1.0, out, 4, NULL), QTX_ERR_ARGUMENT, "resampling into no count"},
        {qtx_resample(x, y, 2, 0.0, INFINITY, out, 4, &written), QTX_ERR_ARGUMENT, "an infinite step"},
        {qtx_resample(x, y, 2, NAN, 1.0, out, 4, &written), QTX_ERR_ARGUMENT, "a start not a number"},
    };
    for (i = 0; i < (int)(sizeof cases / sizeof cases[0]); ++i) {
      ++checks;
      if (cases[i].got != cases[i].want) {
        ++failures;
        fprintf(stderr, "%s: status %d, expected %d\n", cases[i].what, cases[i].got, cases[i].want);
      }
    }
  }
  /* Outputs are cleared on refusal, and a text can come without its length. */
  CHECK(rows == 0 && written == 0 && refused == NULL);
  /* Mode No takes rows without X; mode Multi does not. The calls depend on
   * each other, so they stand outside the table. */
  CHECK(qtx_write_section_header(none, &good, 1) == QTX_OK && qtx_write_rows(none, NULL, y, 1) == QTX_OK);
  CHECK(qtx_write_section_header(multi, &good, 1) == QTX_OK &&
        qtx_write_rows(multi, NULL, y, 1) == QTX_ERR_ARGUMENT);
  for (which = QTX_TEXT_X_UNIT_LABEL; which <= QTX_TEXT_Y_HEADING; ++which)
    CHECK(qtx_get_channel_text(file, 0, 0, which, &text, NULL) == QTX_OK && text != NULL);
  /* Every status has words of its own. */
  for (status = QTX_OK; status <= QTX_ERR_NOT_REGULAR + 1; ++status)
    named = named && qtx_status_text(status) != NULL && *qtx_status_text(status) != '\0' &&
            (status == QTX_OK || strcmp(qtx_status_text(status), qtx_status_text(status - 1)) != 0);
  CHECK(named);
  x[1] = 1.0;
  CHECK(qtx_resample(x, y, 2, 0.0, 0.5, NULL, 0, &written) == QTX_OK && written == 0);
  CHECK(qtx_writer_close(writer) == QTX_OK && qtx_writer_close(none) == QTX_OK &&
        qtx_writer_close(multi) == QTX_ERR_ROWS);
  qtx_close(file);
}

static void OpenFailuresAreStatuses(const char* scratch) {
  char path[1024];
  qtx_file* file = NULL;
  FILE* text;
  snprintf(path, sizeof path, "%s/no-such-file.qtx", scratch);
  CHECK(qtx_open(path, &file) == QTX_ERR_NOT_FOUND && file == NULL);
  CHECK(qtx_open(scratch, &file) == QTX_ERR_ACCESS);
  snprintf(path, sizeof path, "%s/capi-no-header.qtx", scratch);
  text = fopen(path, "wb");
  CHECK(text != NULL && fputs("Channels\t1\n", text) >= 0 && fclose(text) == 0);
  CHECK(qtx_open(path, &file) == QTX_ERR_FORMAT && file == NULL);
#ifndef _WIN32
  /* A device is refused before anything is read: the reads seek back. */
  CHECK(qtx_open("/dev/null", &file) == QTX_ERR_NOT_REGULAR && file == NULL &&
        !strcmp(qtx_status_text(QTX_ERR_NOT_REGULAR), "not a regular file; qtx reads files it can seek in"));
#endif
}

/* A device that takes no bytes: the failed write is a status, not a file
 * said to be written. */
static void WriteFailuresAreStatuses(void) {
#ifndef _WIN32
  qtx_writer* writer = NULL;
  FILE* probe = fopen("/dev/full", "wb");
  if (!probe) return;
  fclose(probe);
  CHECK(qtx_writer_create("/dev/full", QTX_X_ONE, &writer) == QTX_ERR_IO && writer == NULL);
#endif
}

/* Values from every corner: each must come back with the same bits. */
static const double kValues[] = {
    0.1,    -0.0,          0.0,  1.0 / 3.0,          5e-324,   -2.2250738585072014e-308, DBL_MAX,
    -1e300, 123456789.123, 1e-7, 9007199254740993.0, -INFINITY};
#define kRows 12

static void WritesFilesThatReadBack(const char* scratch, int mode) {
  char path[1024];
  qtx_writer* writer = NULL;
  qtx_file* file = NULL;
  qtx_channel_setup channels[2] = {{"In1", "t", "Voltage", "V", "Time", "s", 0.5, 0.25, kRows},
                                   {"In2", "t2", "Current", "A", "Time", "s", -1.5, 0.125, kRows}};
  double x[2 * kRows], y[2 * kRows], bx[2 * kRows], by[2 * kRows];
  uint32_t rows = 0;
  int c, r, same = 1;
  for (r = 0; r < 2 * kRows; ++r) {
    x[r] = kValues[(r + 5) % kRows];
    y[r] = kValues[r % kRows];
  }
  const qtx_header_setup stamps = {"Run 7, cold start", "Absolute", "2031/12/24", "23:59:58"};
  const qtx_header_setup tab = {"a\tb", NULL, NULL, NULL};
  const char* text = NULL;
  snprintf(path, sizeof path, "%s/capi-mode%d.qtx", scratch, mode);
  CHECK(qtx_writer_create_stamped(path, mode, &tab, &writer) == QTX_ERR_ARGUMENT && writer == NULL);
  CHECK(qtx_writer_create_stamped(path, mode, &stamps, &writer) == QTX_OK);
  CHECK(qtx_write_section_header(writer, channels, 2) == QTX_OK && qtx_write_rows(writer, x, y, 0) == QTX_OK);
  CHECK(qtx_write_rows(writer, x, y, kRows) == QTX_OK);
  CHECK(qtx_write_rows(writer, x, y, 1) == QTX_ERR_ROWS); /* one more than Samples */
  channels[0].y_unit_label = "V\tA";                      /* would read back as two fields */
  CHECK(qtx_write_section_header(writer, channels, 2) == QTX_ERR_ARGUMENT);
  channels[0].y_unit_label = "V";
  CHECK(qtx_writer_close(writer) == QTX_OK);

  CHECK(qtx_open(path, &file) == QTX_OK);
  CHECK(qtx_get_file_text(file, QTX_FILE_DESCRIPTION, &text, NULL) == QTX_OK && !strcmp(text, stamps.description));
  CHECK(qtx_get_file_text(file, QTX_FILE_TIME_PREF, &text, NULL) == QTX_OK && !strcmp(text, "Absolute"));
  CHECK(qtx_get_file_text(file, QTX_FILE_TIME, &text, NULL) == QTX_OK && !strcmp(text, "23:59:58"));
  CHECK(qtx_get_channel_text(file, 0, 1, QTX_TEXT_DATE, &text, NULL) == QTX_OK && !strcmp(text, "2031/12/24"));
  CHECK(qtx_read_section(file, 0, bx, by, kRows, &rows) == QTX_OK && rows == kRows);
  for (c = 0; c < 2; ++c) {
    for (r = 0; r < kRows; ++r) {
      const int i = c * kRows + r;
      const double wantX =
          mode == QTX_X_NO ? channels[c].x0 + r * channels[c].delta_x : x[mode == QTX_X_ONE ? r : i];
      same = same && SameBits(by[i], y[i]) && SameBits(bx[i], wantX);
    }
  }
  CHECK(same);

  /* Row ranges, on two threads too: the whole read's bits at the same rows. */
  CHECK(qtx_rows_in_file(file, 0) == kRows && qtx_rows_in_file(file, 1) == 0 &&
        qtx_set_threads(file, -1) == QTX_ERR_ARGUMENT && qtx_set_threads(file, 2) == QTX_OK);
  CHECK(qtx_read_rows(file, 0, -1, 5, 4, x, y, &rows) == QTX_OK && rows == 4);
  for (c = 0; c < 2; ++c)
    for (r = 0; r < 4; ++r)
      same = same && SameBits(x[c * 4 + r], bx[c * kRows + 5 + r]) && SameBits(y[c * 4 + r], by[c * kRows + 5 + r]);
  y[2] = 42.0; /* rows past the section's are not stored */
  CHECK(qtx_read_rows(file, 0, 1, kRows - 2, 3, NULL, y, &rows) == QTX_OK && rows == 2 && y[2] == 42.0 &&
        SameBits(y[1], by[2 * kRows - 1]));
  CHECK(same);
  CHECK(qtx_read_rows(file, 0, 2, 0, 1, x, y, &rows) == QTX_ERR_ARGUMENT && rows == 0 &&
        qtx_read_rows(file, 0, -2, 0, 1, x, y, &rows) == QTX_ERR_ARGUMENT &&
        qtx_read_rows(file, 0, 0, 0, 1, NULL, NULL, &rows) == QTX_ERR_ARGUMENT &&
        qtx_read_rows(file, 0, 0, 0, 1, x, y, NULL) == QTX_ERR_ARGUMENT &&
        qtx_read_rows(NULL, 0, 0, 0, 1, x, y, &rows) == QTX_ERR_ARGUMENT);
  qtx_close(file);

  /* A section left short of its rows is reported when the file is closed. */
  CHECK(qtx_writer_create(path, mode, &writer) == QTX_OK && qtx_write_rows(writer, x, y, 1) == QTX_ERR_ROWS);
  CHECK(qtx_write_section_header(writer, channels, 2) == QTX_OK && qtx_write_rows(writer, x, y, 3) == QTX_OK);
  CHECK(qtx_write_section_header(writer, channels, 2) == QTX_ERR_ROWS &&
        qtx_writer_close(writer) == QTX_ERR_ROWS);
  /* Such a file reads as the rows it holds, with zeros for the others. */
  CHECK(qtx_open(path, &file) == QTX_OK && qtx_row_count(file, 0) == kRows && qtx_rows_in_file(file, 0) == 3);
  CHECK(qtx_read_section(file, 0, bx, by, kRows, &rows) == QTX_OK && rows == 3 && by[3] == 0.0);
  qtx_close(file);
}

/* The first line of a file, or "" when it cannot be read. */
static const char* FirstLine(const char* path, char* line, int size) {
  FILE* f = fopen(path, "rb");
  line[0] = '\0';
  if (f) {
    if (!fgets(line, size, f)) line[0] = '\0';
    fclose(f);
  }
  return line;
}

/* A replacing writer leaves the old file whole until its close succeeds. */
static void ReplacingWriterKeepsTheOldFileUntilDone(const char* scratch) {
  char path[1024], before[256], after[256];
  qtx_writer* writer = NULL;
  qtx_file* file = NULL;
  qtx_channel_setup channel = {"In1", "t", "Voltage", "V", "Time", "s", 0.0, 1.0, 2};
  const double x[2] = {0.0, 1.0}, y[2] = {0.5, -0.25};
  double bx[2], by[2];
  uint32_t rows = 0;
  FILE* old;
  snprintf(path, sizeof path, "%s/capi-replaced.qtx", scratch);
  old = fopen(path, "wb");
  CHECK(old != NULL);
  if (!old) return;
  fputs("not yet replaced\n", old);
  fclose(old);
  /* Short of its rows: the close fails and the old file is as it was. */
  CHECK(qtx_writer_create_replacing(path, QTX_X_ONE, NULL, &writer) == QTX_OK);
  CHECK(qtx_write_section_header(writer, &channel, 1) == QTX_OK && qtx_write_rows(writer, x, y, 1) == QTX_OK);
  CHECK(!strcmp(FirstLine(path, before, sizeof before), "not yet replaced\n"));
  CHECK(qtx_writer_close(writer) == QTX_ERR_ROWS);
  CHECK(!strcmp(FirstLine(path, after, sizeof after), "not yet replaced\n"));
  /* Complete: replaced, and read back. */
  CHECK(qtx_writer_create_replacing(path, QTX_X_ONE, NULL, &writer) == QTX_OK);
  CHECK(qtx_write_section_header(writer, &channel, 1) == QTX_OK && qtx_write_rows(writer, x, y, 2) == QTX_OK);
  CHECK(qtx_writer_close(writer) == QTX_OK);
  CHECK(qtx_open(path, &file) == QTX_OK && qtx_read_section(file, 0, bx, by, 2, &rows) == QTX_OK && rows == 2 &&
        SameBits(by[1], y[1]));
  qtx_close(file);
  /* A folder is not replaced. */
  CHECK(qtx_writer_create_replacing(scratch, QTX_X_ONE, NULL, &writer) == QTX_ERR_ACCESS && writer == NULL);
  CHECK(qtx_writer_create_replacing(NULL, QTX_X_ONE, NULL, &writer) == QTX_ERR_ARGUMENT);
}

static void TimeStepAndResampling(void) {
  const double x[] = {0.0, 1.0, 2.0}, y[] = {0.0, 10.0, 20.0};
  const double wide[] = {1e20, 1.0000000000000002e20};
  double step = 0.0, out[8];
  uint32_t written = 99;
  CHECK(qtx_estimate_time_step(10, 0.0, 10.0, &step) == QTX_OK && step == 1.0);
  CHECK(qtx_estimate_time_step(1, 0.0, 10.0, &step) == QTX_ERR_NO_RESULT && step == -1.0 &&
        qtx_estimate_time_step(10, 0.0, 10.0, NULL) == QTX_ERR_ARGUMENT);
  CHECK(qtx_resample(x, y, 3, 0.0, 0.5, out, 8, &written) == QTX_OK && written == 4 && out[3] == 15.0);
  CHECK(qtx_resample(x, y, 3, 0.0, 0.5, out, 2, &written) == QTX_OK && written == 2);
  CHECK(qtx_resample(x, y, 3, 0.0, 0.0, out, 8, &written) == QTX_ERR_ARGUMENT && written == 0 &&
        qtx_resample(x, y, 1, 0.0, 0.5, out, 8, &written) == QTX_ERR_ARGUMENT &&
        qtx_resample(x, y, 3, 0.0, 0.5, NULL, 8, &written) == QTX_ERR_ARGUMENT);
  CHECK(qtx_resample(wide, y, 2, 1e20, 5000.0, out, 8, &written) == QTX_ERR_NO_RESULT && written == 0);
}

/* The index beside a file: used once written; a file that grows is
 * followed; one that shrinks is replaced. */
static void IndexAndRefresh(const char* scratch) {
  const char* head = "Quorset Measurement\t\nX_Columns\tOne\n***End_of_Header***\t\n"
                     "Channels\t1\nSamples\t\t4\n***End_of_Header***\t\nt\ty\n0\t1\n";
  char path[1024], index[1100];
  qtx_file* file = NULL;
  uint64_t rows = 9;
  int32_t sections = 9;
  int notice = -1;
  const char* text = NULL;
  FILE* out;
  snprintf(path, sizeof path, "%s/capi-index.qtx", scratch);
  snprintf(index, sizeof index, "%s.qtxi", path);
  remove(index);
  out = fopen(path, "wb");
  fputs(head, out);
  fclose(out);
  CHECK(qtx_open(path, &file) == QTX_OK && qtx_index_used(file) == 0);
  CHECK(qtx_index_notice(file, &notice, &text) == QTX_OK && notice == 2);
  CHECK(qtx_write_index(file) == QTX_OK);
  qtx_close(file);
  CHECK(qtx_open(path, &file) == QTX_OK && qtx_index_used(file) == 1);
  qtx_close(file);
  /* A follower leaves the file open to its writer, also on Windows. */
  CHECK(qtx_open_follow(path, &file) == QTX_OK);
  out = fopen(path, "ab");
  CHECK(out != NULL);
  if (out) {
    fputs("1\t2\n2\t", out);
    fclose(out);
    CHECK(qtx_refresh(file, &rows, &sections) == QTX_OK && rows == 1 && sections == 0);
    out = fopen(path, "wb");
    CHECK(out != NULL);
    if (out) {
      fputs(head, out);
      fclose(out);
      CHECK(qtx_refresh(file, &rows, &sections) == QTX_ERR_REPLACED && rows == 0);
    }
  }
  CHECK(qtx_refresh(NULL, &rows, &sections) == QTX_ERR_ARGUMENT && qtx_index_used(NULL) == 0);
  qtx_close(file);
  remove(index);
  remove(path);
}

int main(int argc, char** argv) {
  int mode;
  if (argc != 3) {
    fprintf(stderr, "usage: capi_test SAMPLE.qtx SCRATCH_DIR\n");
    return 2;
  }
  ReadsTheSample(argv[1]);
  EveryBadArgumentIsAStatus(argv[1], argv[2]);
  OpenFailuresAreStatuses(argv[2]);
  WriteFailuresAreStatuses();
  for (mode = QTX_X_NO; mode <= QTX_X_MULTI; ++mode) WritesFilesThatReadBack(argv[2], mode);
  ReplacingWriterKeepsTheOldFileUntilDone(argv[2]);
  TimeStepAndResampling();
  /* The one version of the project, as CMake read it from VERSION. */
  CHECK(!strcmp(qtx_version(), QTX_EXPECTED_VERSION));
  IndexAndRefresh(argv[2]);
  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}

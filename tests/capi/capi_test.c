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
        qtx_get_channel_text(file, 0, 0, 6, &text, NULL) == QTX_ERR_ARGUMENT &&
        qtx_get_separator(NULL, &name, &delimiters) != QTX_OK);
  CHECK(qtx_read_channel(file, 0, -1, cx, cy, 3, &rows) == QTX_ERR_ARGUMENT && rows == 0 &&
        qtx_read_channel(file, 0, 2, cx, cy, 3, &rows) == QTX_ERR_ARGUMENT &&
        qtx_read_section(file, 1, x, y, 3, &rows) == QTX_ERR_ARGUMENT &&
        qtx_read_section(file, 0, NULL, y, 3, &rows) == QTX_ERR_ARGUMENT &&
        qtx_read_section(file, 0, x, y, 3, NULL) == QTX_ERR_ARGUMENT);
  qtx_close(file);
  qtx_close(NULL);
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
  snprintf(path, sizeof path, "%s/capi-mode%d.qtx", scratch, mode);
  CHECK(qtx_writer_create(path, mode, &writer) == QTX_OK);
  CHECK(qtx_write_section_header(writer, channels, 2) == QTX_OK && qtx_write_rows(writer, x, y, 0) == QTX_OK);
  CHECK(qtx_write_rows(writer, x, y, kRows) == QTX_OK);
  CHECK(qtx_write_rows(writer, x, y, 1) == QTX_ERR_ROWS); /* one more than Samples */
  channels[0].y_unit_label = "V\tA";                      /* would read back as two fields */
  CHECK(qtx_write_section_header(writer, channels, 2) == QTX_ERR_ARGUMENT);
  channels[0].y_unit_label = "V";
  CHECK(qtx_writer_close(writer) == QTX_OK);

  CHECK(qtx_open(path, &file) == QTX_OK);
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
  qtx_close(file);

  /* A section left short of its rows is reported when the file is closed. */
  CHECK(qtx_writer_create(path, mode, &writer) == QTX_OK && qtx_write_rows(writer, x, y, 1) == QTX_ERR_ROWS);
  CHECK(qtx_write_section_header(writer, channels, 2) == QTX_OK && qtx_write_rows(writer, x, y, 3) == QTX_OK);
  CHECK(qtx_write_section_header(writer, channels, 2) == QTX_ERR_ROWS &&
        qtx_writer_close(writer) == QTX_ERR_ROWS);
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

int main(int argc, char** argv) {
  int mode;
  if (argc != 3) {
    fprintf(stderr, "usage: capi_test SAMPLE.qtx SCRATCH_DIR\n");
    return 2;
  }
  ReadsTheSample(argv[1]);
  OpenFailuresAreStatuses(argv[2]);
  WriteFailuresAreStatuses();
  for (mode = QTX_X_NO; mode <= QTX_X_MULTI; ++mode) WritesFilesThatReadBack(argv[2], mode);
  TimeStepAndResampling();
  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}

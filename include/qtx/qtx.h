/* The C interface of QTXLibrary: plain C99, for any host and any language
 * that can call a C function in a DLL or shared library.
 *
 * Reading: open (which scans the file), ask for the counts, read values into
 * arrays of your own, close.
 *
 *   qtx_file* file;
 *   if (qtx_open("run.qtx", &file) != QTX_OK) return;
 *   int channels = qtx_channel_count(file, 0);
 *   uint32_t rows = qtx_row_count(file, 0), got;
 *   double* x = malloc(sizeof(double) * channels * rows);    (channel c's rows
 *   double* y = malloc(sizeof(double) * channels * rows);     at c * rows)
 *   qtx_read_section(file, 0, x, y, rows, &got);              (all in one pass)
 *   qtx_close(file);
 *
 * Writing: create, then per section its header and its rows, then close.
 *
 *   qtx_writer* out;
 *   qtx_channel_setup ch = {"In1", "X_Value", "Voltage", "V", "Time", "s", 0.0, 0.001, 2};
 *   qtx_writer_create("out.qtx", QTX_X_ONE, &out);
 *   qtx_write_section_header(out, &ch, 1);
 *   double t[2] = {0.0, 0.001}, v[2] = {0.5, 0.25};
 *   qtx_write_rows(out, t, v, 2);                              (read back bit for bit)
 *   if (qtx_writer_close(out) != QTX_OK) ...
 *
 * Every function returns a status or a value that tells failure apart;
 * nothing is thrown, and a null or out-of-range argument is a status, never a
 * crash. Memory is owned by one side only: the library allocates only what
 * its own close functions free, and the host's arrays stay the host's.
 * One qtx_file or qtx_writer is used by one thread at a time; distinct
 * objects may be used from different threads.
 */
#ifndef QTX_QTX_H
#define QTX_QTX_H

#include <stddef.h>
#include <stdint.h>

#include "qtx/QTXExport.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct qtx_file qtx_file;     /* a scanned file, opaque */
typedef struct qtx_writer qtx_writer; /* a file being written, opaque */
typedef int qtx_status;               /* 0 = QTX_OK; others are QTX_ERR_* codes */

enum {
  QTX_OK = 0,
  QTX_ERR_ARGUMENT = 1,   /* a null pointer, an index out of range or an unusable value */
  QTX_ERR_NOT_FOUND = 2,  /* no such file, or a path that does not lead to one */
  QTX_ERR_ACCESS = 3,     /* access denied, or the path names a directory */
  QTX_ERR_SHARING = 4,    /* another program holds the file in a way that excludes this use */
  QTX_ERR_IO = 5,         /* reading or writing the file failed */
  QTX_ERR_FORMAT = 6,     /* the file ends before the main header's end line */
  QTX_ERR_MEMORY = 7,     /* out of memory, or the file declares more than fits in it */
  QTX_ERR_CAPACITY = 8,   /* the caller's arrays are too small */
  QTX_ERR_ROWS = 9,       /* more or fewer rows written than the section's Samples */
  QTX_ERR_NO_RESULT = 10, /* no time step to estimate, or a step too small to resample with */
  QTX_ERR_INTERNAL = 11,  /* an error the library did not foresee */
  QTX_ERR_NOT_REGULAR = 12, /* not a regular file (a FIFO, a pipe, a device): the reads seek back */
  QTX_ERR_REPLACED = 13,   /* the file shrank or bytes already read changed while it was followed */
  /* What a channel lacks for wall-clock time (qtx_get_start_time, qtx_get_x_seconds). */
  QTX_ERR_NO_DATE = 14,                      /* no Date, neither the channel's nor the main header's */
  QTX_ERR_NO_TIME = QTX_ERR_NO_DATE + 1,     /* a Date without a Time */
  QTX_ERR_BAD_DATE = QTX_ERR_NO_DATE + 2,    /* a Date that is not yyyy/MM/dd of a calendar day */
  QTX_ERR_BAD_TIME = QTX_ERR_NO_DATE + 3,    /* a Time that is not HH:mm:ss[.f...] (at most 9 digits) */
  QTX_ERR_NO_UNIT = QTX_ERR_NO_DATE + 4,     /* an empty X_Unit_Label */
  QTX_ERR_NOT_TIME_UNIT = QTX_ERR_NO_DATE + 5 /* an X_Unit_Label that is no unit of time */
};

/* X-column modes: where the X values of the rows come from. */
enum {
  QTX_X_NO = 0,   /* no X column: X = X0 + row * Delta_X of each channel */
  QTX_X_ONE = 1,  /* one X column shared by all channels, then a Y per channel */
  QTX_X_MULTI = 2 /* an X and a Y column per channel */
};

/* The message of a status: static text, never null. */
QTXLIB_API const char* qtx_status_text(qtx_status status);

/* The library's version, "MAJOR.MINOR.PATCH": static text, never null. */
QTXLIB_API const char* qtx_version(void);

/* ---- Reading ------------------------------------------------------------ */

/* Scans the file: its main header, every section header and where each
 * section's rows begin. The file stays open for the values until qtx_close;
 * meanwhile others may read it but not write it (on Windows; elsewhere the
 * lock is advisory). On failure *file is set to null. */
QTXLIB_API qtx_status qtx_open(const char* path, qtx_file** file);

/* Closes the file and frees everything of it, its texts included. Null is fine. */
QTXLIB_API void qtx_close(qtx_file* file);

/* The file's settings, from its main header. */
typedef struct qtx_settings {
  int is_qtx_file;       /* the file's first-line magic text was met */
  int multi_headings;    /* "Multi_Headings" said "Yes" */
  int x_columns;         /* QTX_X_NO, QTX_X_ONE or QTX_X_MULTI */
  double reader_version; /* "Reader_Version" (0.92 when absent) */
  double writer_version; /* "Writer_Version" (0.92 when absent) */
} qtx_settings;

QTXLIB_API qtx_status qtx_get_settings(const qtx_file* file, qtx_settings* settings);

/* The separator name as the file wrote it ("Tab", "Comma" or the text
 * itself) and the delimiter characters it stands for. The texts are
 * zero-terminated and owned by the file: valid until qtx_close(file). */
QTXLIB_API qtx_status qtx_get_separator(const qtx_file* file, const char** name, const char** delimiters);

/* The main header's metadata, as written in the file. */
enum {
  QTX_FILE_DESCRIPTION = 0, /* "Description" */
  QTX_FILE_DATE = 1,        /* "Date" */
  QTX_FILE_TIME = 2,        /* "Time" */
  QTX_FILE_TIME_PREF = 3    /* "Time_Pref": "Relative", "Absolute" or what the file says */
};

/* Sets *text to the main header's text `which` (a QTX_FILE_* value): empty
 * when the header has no such line; zero-terminated, owned by the file and
 * valid until qtx_close(file). When length is not null it receives the
 * text's length in bytes. */
QTXLIB_API qtx_status qtx_get_file_text(const qtx_file* file, int which, const char** text, size_t* length);

/* -1 when file is null. */
QTXLIB_API int qtx_section_count(const qtx_file* file);
/* -1 when section is out of range. */
QTXLIB_API int qtx_channel_count(const qtx_file* file, int section);
/* The largest Samples of the section: the rows qtx_read_* give each
 * channel. 0 when section is out of range. */
QTXLIB_API uint32_t qtx_row_count(const qtx_file* file, int section);

/* One channel's numbers from its section header. */
typedef struct qtx_channel_info {
  uint32_t samples; /* "Samples": the channel's own number of rows */
  double x0;        /* "X0" */
  double delta_x;   /* "Delta_X" */
} qtx_channel_info;

QTXLIB_API qtx_status qtx_get_channel_info(const qtx_file* file, int section, int channel,
                                           qtx_channel_info* info);

/* The texts of a channel. */
enum {
  QTX_TEXT_X_UNIT_LABEL = 0, /* "X_Unit_Label" */
  QTX_TEXT_X_DIMENSION = 1,  /* "X_Dimension" */
  QTX_TEXT_Y_UNIT_LABEL = 2, /* "Y_Unit_Label" */
  QTX_TEXT_Y_DIMENSION = 3,  /* "Y_Dimension" */
  QTX_TEXT_X_HEADING = 4,    /* heading of the X column; "X_Value" when the file has none */
  QTX_TEXT_Y_HEADING = 5,    /* heading of the Y column */
  QTX_TEXT_DATE = 6,         /* "Date" as written; empty when the header has none */
  QTX_TEXT_TIME = 7          /* "Time" as written; empty when the header has none */
};

/* Sets *text to the channel's text `which` (a QTX_TEXT_* value): zero-
 * terminated, owned by the file and valid until qtx_close(file). When length
 * is not null it receives the text's length in bytes. */
QTXLIB_API qtx_status qtx_get_channel_text(const qtx_file* file, int section, int channel, int which,
                                           const char** text, size_t* length);

/* The rows the file holds for the section: qtx_row_count, or fewer when the
 * file ends first. A last line without a line end in a file that ends short
 * of the row count is the row that was being written when the file was cut
 * off: it is not counted and no read gives it. 0 when section is out of
 * range. */
QTXLIB_API uint32_t qtx_rows_in_file(const qtx_file* file, int section);

/* The threads each later read of the file is split over (0: one per core;
 * the default is 1, which reads on the caller's thread). Every count reads
 * the same values. */
QTXLIB_API qtx_status qtx_set_threads(qtx_file* file, int threads);

/* A field that a row the file holds lacks (a short row, an empty line)
 * reads as a quiet NaN with these bits, never as a made-up 0, so that it can
 * be told from a NaN the file holds. */
#define QTX_MISSING_BITS UINT64_C(0x7FF8000000000A11)

/* Reads one channel (channel >= 0) into caller-owned x and y of room for
 * `capacity` rows. Never writes past capacity: with less room than
 * qtx_row_count it writes nothing and returns QTX_ERR_CAPACITY. *rows
 * receives the rows the file holds (qtx_rows_in_file); entries for rows it
 * does not hold read as 0.0. */
QTXLIB_API qtx_status qtx_read_channel(qtx_file* file, int section, int channel, double* x, double* y,
                                       uint32_t capacity, uint32_t* rows);

/* Reads every channel of the section in one pass: x and y each hold room
 * for qtx_channel_count * capacity values, channel c's rows starting at
 * c * capacity. Otherwise as qtx_read_channel. */
QTXLIB_API qtx_status qtx_read_section(qtx_file* file, int section, double* x, double* y, uint32_t capacity,
                                       uint32_t* rows);

/* Reads rows [first_row, first_row + row_count) of one channel, or of every
 * channel for channel -1 (channel c's rows at c * row_count), into x and y,
 * so that a section of any size streams through arrays of a fixed size.
 * Either array may be null to leave it out. The values are those of
 * qtx_read_section at the same rows, bit for bit. *got receives the rows
 * stored; rows the file does not hold (past its end or past the section's
 * rows) are not stored, and their entries stay as they were. Starts near
 * the first row, whatever its place in the file. */
QTXLIB_API qtx_status qtx_read_rows(qtx_file* file, int section, int channel, uint32_t first_row,
                                    uint32_t row_count, double* x, double* y, uint32_t* got);

/* ---- Writing ------------------------------------------------------------ */

/* Creates the file (replacing one that exists) and writes its main header
 * for X-column mode x_columns (QTX_X_*). Lines end with LF on every system.
 * On failure *writer is set to null. */
QTXLIB_API qtx_status qtx_writer_create(const char* path, int x_columns, qtx_writer** writer);

/* The metadata a writer stamps: the main header's Description and
 * Time_Pref, and the Date and Time of the main header and of every section
 * header's channels. A null or empty text gets the default: the library's
 * description, Relative, the local date (yyyy/MM/dd) and time (HH:mm:ss) of
 * now. Texts follow the rules of qtx_channel_setup's. */
typedef struct qtx_header_setup {
  const char* description;
  const char* time_pref;
  const char* date;
  const char* time;
} qtx_header_setup;

/* qtx_writer_create with the metadata of `header` (null: every default). */
QTXLIB_API qtx_status qtx_writer_create_stamped(const char* path, int x_columns, const qtx_header_setup* header,
                                                qtx_writer** writer);

/* As qtx_writer_create_stamped, but the file is written to a new temporary
 * file in path's folder, which qtx_writer_close renames over path only when
 * every write succeeded and every section got its rows. Until then path is
 * untouched; a close that fails removes the temporary file and nothing else.
 * A symbolic link stays a link and its target gets the new content; a file
 * replaced keeps its permissions. A path that names anything but a regular
 * file or nothing is QTX_ERR_ACCESS (a directory) or QTX_ERR_NOT_REGULAR. */
QTXLIB_API qtx_status qtx_writer_create_replacing(const char* path, int x_columns, const qtx_header_setup* header,
                                                  qtx_writer** writer);

/* What a section header says of one channel. Every text must be non-empty
 * and hold no tab, CR or LF, and must not end in white space: otherwise it
 * would not read back as written, and the call returns QTX_ERR_ARGUMENT.
 * X0 and Delta_X are written with 7 significant digits. */
typedef struct qtx_channel_setup {
  const char* y_heading;
  const char* x_heading; /* used in modes One (channel 0's) and Multi */
  const char* y_dimension;
  const char* y_unit_label;
  const char* x_dimension;
  const char* x_unit_label;
  double x0;
  double delta_x;
  uint32_t samples; /* the channel's rows; the section has as many as its largest */
} qtx_channel_setup;

/* Writes the header of a section of `count` channels (count >= 1). The
 * previous section must have received all its rows. */
QTXLIB_API qtx_status qtx_write_section_header(qtx_writer* writer, const qtx_channel_setup* channels,
                                               int count);

/* Writes `rows` data rows of the current section, laid out as qtx_read_section
 * fills them with capacity = rows: channel c's values at c * rows. x is read
 * only in mode Multi, and in mode One only for channel 0 (rows values); in
 * mode No it may be null. Each value is written in the shortest text that
 * reads back as the same double: every finite value and infinity read back
 * bit for bit, a NaN as a NaN. May be called several times per section; all
 * calls together must give exactly the section's row count. */
QTXLIB_API qtx_status qtx_write_rows(qtx_writer* writer, const double* x, const double* y, uint32_t rows);

/* Flushes and closes the file and frees the writer; a failure of any
 * earlier write that was not reported yet, or a last section short of its
 * rows, is reported here. A writer of qtx_writer_create_replacing renames
 * its file into place here, or removes it on failure. Null is fine (QTX_OK). */
QTXLIB_API qtx_status qtx_writer_close(qtx_writer* writer);

/* ---- Time step and resampling ------------------------------------------ */

/* The mean step of count samples from start to end: (end - start) / count.
 * QTX_ERR_NO_RESULT, with *step = -1.0, when count < 2, start is not below
 * end or an end is not finite. */
QTXLIB_API qtx_status qtx_estimate_time_step(uint32_t count, double start, double end, double* step);

/* Resamples the curve through (x[i], y[i]), i < count, onto the grid start,
 * start + step, ... by linear interpolation, storing at most capacity values
 * in out and their number in *written (capacity values may mean the grid
 * went on). QTX_ERR_ARGUMENT for count < 2, a step not above 2^-1022 or not
 * finite, a start not finite or a null pointer; QTX_ERR_NO_RESULT, with
 * *written = 0, when the step is too small to move the grid on from an X. */
QTXLIB_API qtx_status qtx_resample(const double* x, const double* y, uint32_t count, double start,
                                   double step, double* out, uint32_t capacity, uint32_t* written);

/* ---- Index file and following ------------------------------------------ */

/* qtx_open uses FILE.qtxi beside the file when it matches the file, and
 * scans otherwise. Whether it used it: 1 yes, 0 no (and 0 for null); with
 * notice non-null, *notice is one of QTXIndexNotice of the C++ interface
 * (0 used, 1 used and extended over added bytes, 2 none, 3 ignored, 4
 * unreadable, 5 corrupt, 6 stale, 7 mismatch) and, with text non-null,
 * *text why it was not used (valid while the file is open, "" when used). */
QTXLIB_API int qtx_index_used(const qtx_file* file);
QTXLIB_API qtx_status qtx_index_notice(const qtx_file* file, int* notice, const char** text);

/* Writes or replaces FILE.qtxi for the open file. QTX_ERR_ACCESS or
 * QTX_ERR_IO when it cannot be written; qtx_last_index_error says why. */
QTXLIB_API qtx_status qtx_write_index(qtx_file* file);
QTXLIB_API const char* qtx_last_index_error(const qtx_file* file);

/* Brings the open file up to date with what was appended to it since the
 * last look, reading only the new bytes: rows of the last section once their
 * line end is written, sections once their header and headings line are.
 * *new_rows (may be null) the rows added over all sections, *new_sections
 * (may be null) the sections appended. QTX_ERR_REPLACED, with nothing
 * taken, when the file shrank or bytes already read changed. */
QTXLIB_API qtx_status qtx_refresh(qtx_file* file, uint64_t* new_rows, int32_t* new_sections);

/* Opens a file that a writer is still appending to, for qtx_refresh: as
 * qtx_open, but the file stays open to writers on every system (qtx_open
 * denies them write access on Windows), a last line without its line end is
 * left for a later refresh, and no index file is used. */
QTXLIB_API qtx_status qtx_open_follow(const char* path, qtx_file** file);
/* ---- Wall-clock time ---------------------------------------------------- */

/* The channel's start: its own Date and Time when its section header gives
 * both, else the main header's, read strictly as yyyy/MM/dd and
 * HH:mm:ss[.f...] (at most 9 fractional digits). *seconds counts from
 * 1970-01-01 00:00:00 of the proleptic Gregorian calendar, with no zone;
 * *nanoseconds is 0..999999999. Nothing is guessed: what is missing or
 * cannot be read is QTX_ERR_NO_DATE, _NO_TIME, _BAD_DATE or _BAD_TIME, with
 * both outputs 0. */
QTXLIB_API qtx_status qtx_get_start_time(const qtx_file* file, int section, int channel, int64_t* seconds,
                                         uint32_t* nanoseconds);

/* Seconds per unit of the channel's X, from its X_Unit_Label: the whole
 * label, letters in any case, one of s, sec, ms, us, the UTF-8 micro sign
 * then s, ns, min, h. QTX_ERR_NO_UNIT or QTX_ERR_NOT_TIME_UNIT, with *scale
 * 0, for anything else. */
QTXLIB_API qtx_status qtx_get_x_seconds(const qtx_file* file, int section, int channel, double* scale);

#ifdef __cplusplus
}
#endif

#endif /* QTX_QTX_H */

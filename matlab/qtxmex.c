/* qtxmex: the MEX gateway of qtxread, qtxinfo and qtxwrite, over the
 * library's C interface (qtx/qtx.h) alone.
 *
 *   d    = qtxmex('read', file, name, value, ...)
 *   info = qtxmex('info', file)          (no output: prints a table)
 *   qtxmex('write', file, X, Y, name, value, ...)
 *
 * The .m files beside it document the functions. Every argument is checked
 * here, whatever the wrappers did, so that no call can crash the host: each
 * failure is one error with an identifier qtx:*. What this file holds open
 * (a scanned file, a writer, its buffers) lives in the statics below, which
 * are released before every error, at the start of every call (should the
 * host have left a call without returning, out of memory in mxCreate*) and
 * when the MEX file is cleared.
 *
 * Octave:  mkoctfile --mex -I<prefix>/include qtxmex.c -L<prefix>/lib -lqtx
 * MATLAB:  mex -I<prefix>/include qtxmex.c -L<prefix>/lib -lqtx
 */
#include <ctype.h>
#include <float.h>
#include <limits.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "mex.h"
#include "qtx/qtx.h"

/* ---- What a call holds, released on every way out ------------------------ */

static qtx_file* g_file = NULL;
static qtx_writer* g_writer = NULL;
static double* g_buffers[2] = {NULL, NULL}; /* the values of a read, or X repeated for a write */

static void Release(void) {
  size_t i;
  qtx_close(g_file);
  g_file = NULL;
  /* A writer left open is abandoned: its temporary file is removed and the
   * target stays as it was. */
  if (g_writer) {
    qtx_writer_close(g_writer);
    g_writer = NULL;
  }
  for (i = 0; i < 2; ++i) {
    free(g_buffers[i]);
    g_buffers[i] = NULL;
  }
}

/* Releases everything, then raises the error qtx:<id> with one line. */
static void Fail(const char* id, const char* format, ...) {
  char message[1024], identifier[64];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);
  snprintf(identifier, sizeof identifier, "qtx:%s", id);
  Release();
  mexErrMsgIdAndTxt(identifier, "%s", message);
}

/* The identifier of a library status. */
static const char* IdOfStatus(qtx_status status) {
  switch (status) {
    case QTX_ERR_ARGUMENT: return "badArgument";
    case QTX_ERR_NOT_FOUND:
    case QTX_ERR_ACCESS:
    case QTX_ERR_SHARING:
    case QTX_ERR_NOT_REGULAR: return "open";
    case QTX_ERR_FORMAT: return "format";
    case QTX_ERR_MEMORY: return "memory";
    case QTX_ERR_ROWS: return "rows";
    case QTX_ERR_IO: return "io";
    default: return "internal";
  }
}

static void FailStatus(qtx_status status, const char* what, const char* path) {
  Fail(IdOfStatus(status), "%s %s: %s", what, path, qtx_status_text(status));
}

/* The values' buffers: malloc, so that a lack of memory is the error
 * qtx:memory. Freed by Release. */
static double* Values(size_t count) {
  double* p = count <= SIZE_MAX / sizeof(double) ? (double*)malloc((count > 0 ? count : 1) * sizeof(double)) : NULL;
  if (!p) Fail("memory", "out of memory for %.0f values", (double)count);
  return p;
}

/* Everything small: the host's memory of the call, which it frees itself
 * when the call ends, by an error too. */
static void* Small(size_t count, size_t size) {
  return mxCalloc(count > 0 ? count : 1, size);
}

/* ---- Arguments ----------------------------------------------------------- */

static int IsText(const mxArray* a) {
  return mxIsChar(a) && mxGetNumberOfDimensions(a) == 2 && (mxGetM(a) == 1 || mxGetNumberOfElements(a) == 0);
}

/* A text argument as UTF-8 (Octave's texts are bytes already), freed with
 * the call. Empty is refused where allow_empty is 0. */
static char* Text(const mxArray* a, const char* what, int allow_empty) {
  char* text;
  if (!IsText(a)) Fail("badArgument", "%s must be a text (a char row vector)", what);
  if (!allow_empty && mxGetNumberOfElements(a) == 0) Fail("badArgument", "%s must not be empty", what);
#ifdef HAVE_OCTAVE
  text = mxArrayToString(a);
#else
  text = mxArrayToUTF8String(a);
#endif
  if (!text) Fail("memory", "out of memory for %s", what);
  return text;
}

/* A real, finite, whole number in [low, high]. */
static double Whole(const mxArray* a, const char* what, double low, double high) {
  double v;
  if (!mxIsNumeric(a) || mxIsComplex(a) || mxIsSparse(a) || mxGetNumberOfElements(a) != 1)
    Fail("badArgument", "%s must be a real number", what);
  v = mxGetScalar(a);
  if (!(v >= low && v <= high) || v != floor(v))
    Fail("badArgument", "%s must be a whole number from %.0f to %.0f, not %g", what, low, high, v);
  return v;
}

static int SameName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (tolower((unsigned char)*a) != tolower((unsigned char)*b)) return 0;
  return *a == *b;
}

/* The option name of args[i], a text. */
static const char* OptionName(const mxArray* a, char* name, size_t size) {
  if (!IsText(a) || mxGetNumberOfElements(a) == 0 || mxGetString(a, name, size) != 0)
    Fail("badArgument", "options come as name, value pairs: a name must be a short text");
  return name;
}

/* Whether a text reads back as written: not empty, no tab, CR or LF, not
 * ending in white space. */
static void CheckWritable(const char* text, const char* what, int index) {
  size_t n = strlen(text);
  if (n == 0 || strpbrk(text, "\t\r\n") || text[n - 1] == ' ' || text[n - 1] == '\v' || text[n - 1] == '\f') {
    if (index > 0)
      Fail("badArgument", "%s{%d} must be a non-empty text without tabs or line ends, not ending in a space", what,
           index);
    Fail("badArgument", "%s must be a non-empty text without tabs or line ends, not ending in a space", what);
  }
}

/* ---- Field names --------------------------------------------------------- */

/* A small set of texts by hash, for names unique among thousands. */
typedef struct NameSet {
  char** slots;
  size_t size; /* a power of two, over twice the names */
} NameSet;

static size_t Hash(const char* s) {
  size_t h = (size_t)14695981039346656037ULL;
  for (; *s; ++s) h = (h ^ (unsigned char)*s) * (size_t)1099511628211ULL;
  return h;
}

static int Taken(const NameSet* set, const char* name) {
  size_t i = Hash(name) & (set->size - 1);
  for (; set->slots[i]; i = (i + 1) & (set->size - 1))
    if (!strcmp(set->slots[i], name)) return 1;
  return 0;
}

/* Adds a name the set keeps a pointer to (owned elsewhere). */
static void Take(NameSet* set, char* name) {
  size_t i = Hash(name) & (set->size - 1);
  while (set->slots[i]) i = (i + 1) & (set->size - 1);
  set->slots[i] = name;
}

/* The name qtx export gives a heading in a MAT file: letters, digits and '_'
 * (every other byte '_'), a letter first (else "ch_" before it), at most 63
 * characters; then unique: a taken one gets _2, _3, ... within 63. */
static char* FieldName(const char* heading, const char* suffix, NameSet* taken) {
  size_t n = strlen(heading), i, length;
  char* base = (char*)Small(n + strlen(suffix) + 8, 1);
  char* name;
  int k;
  for (i = 0; i < n; ++i) {
    const unsigned char c = (unsigned char)heading[i];
    base[3 + i] = c < 0x80 && isalnum(c) ? (char)c : '_';
  }
  base[3 + n] = '\0';
  if (n == 0 || !isalpha((unsigned char)base[3])) {
    memcpy(base, "ch_", 3);
  } else {
    memmove(base, base + 3, n + 1);
  }
  strcat(base, suffix);
  if (strlen(base) > 63) base[63] = '\0';
  length = strlen(base);
  name = (char*)Small(64, 1);
  strcpy(name, base);
  for (k = 2; Taken(taken, name); ++k) {
    char tail[16];
    size_t keep;
    snprintf(tail, sizeof tail, "_%d", k);
    keep = length < 63 - strlen(tail) ? length : 63 - strlen(tail);
    memcpy(name, base, keep);
    strcpy(name + keep, tail);
  }
  mxFree(base);
  return name;
}

/* ---- Read ---------------------------------------------------------------- */

static const char* ModeName(int mode) {
  return mode == QTX_X_NO ? "No" : mode == QTX_X_ONE ? "One" : "Multi";
}

static mxArray* Number(double v) {
  return mxCreateDoubleScalar(v);
}

static const char* ChannelText(int section, int channel, int which) {
  const char* text = "";
  if (qtx_get_channel_text(g_file, section, channel, which, &text, NULL) != QTX_OK) text = "";
  return text;
}

static const char* FileText(int which) {
  const char* text = "";
  if (qtx_get_file_text(g_file, which, &text, NULL) != QTX_OK) text = "";
  return text;
}

static const char* kChannelFields[] = {"name", "heading", "unit", "dimension", "x_heading", "x_unit",
                                       "x_dimension", "Samples", "X0", "Delta_X", "index", "date", "time"};
#define kChannelFieldCount (sizeof kChannelFields / sizeof kChannelFields[0])

/* The channels struct array of channels `chosen` (0-based) of a section;
 * names: their field names in the read, or NULL (qtxinfo). */
static mxArray* ChannelArray(int section, const int* chosen, int count, char** names) {
  mxArray* array = mxCreateStructMatrix((mwSize)count, 1, (int)kChannelFieldCount, kChannelFields);
  int k;
  for (k = 0; k < count; ++k) {
    const int c = chosen[k];
    qtx_channel_info info = {0, 0.0, 0.0};
    qtx_get_channel_info(g_file, section, c, &info);
    mxSetField(array, k, "name", mxCreateString(names ? names[k] : ""));
    mxSetField(array, k, "heading", mxCreateString(ChannelText(section, c, QTX_TEXT_Y_HEADING)));
    mxSetField(array, k, "unit", mxCreateString(ChannelText(section, c, QTX_TEXT_Y_UNIT_LABEL)));
    mxSetField(array, k, "dimension", mxCreateString(ChannelText(section, c, QTX_TEXT_Y_DIMENSION)));
    mxSetField(array, k, "x_heading", mxCreateString(ChannelText(section, c, QTX_TEXT_X_HEADING)));
    mxSetField(array, k, "x_unit", mxCreateString(ChannelText(section, c, QTX_TEXT_X_UNIT_LABEL)));
    mxSetField(array, k, "x_dimension", mxCreateString(ChannelText(section, c, QTX_TEXT_X_DIMENSION)));
    mxSetField(array, k, "Samples", Number(info.samples));
    mxSetField(array, k, "X0", Number(info.x0));
    mxSetField(array, k, "Delta_X", Number(info.delta_x));
    mxSetField(array, k, "index", Number(c + 1));
    mxSetField(array, k, "date", mxCreateString(ChannelText(section, c, QTX_TEXT_DATE)));
    mxSetField(array, k, "time", mxCreateString(ChannelText(section, c, QTX_TEXT_TIME)));
  }
  return array;
}

static void Open(const char* path) {
  qtx_status status = qtx_open(path, &g_file);
  if (status != QTX_OK) FailStatus(status, "cannot open", path);
}

/* A column of `rows` values from `from`. */
static mxArray* Column(const double* from, size_t rows) {
  mxArray* a = mxCreateUninitNumericMatrix(rows, 1, mxDOUBLE_CLASS, mxREAL);
  if (rows > 0) memcpy(mxGetPr(a), from, rows * sizeof(double));
  return a;
}

static int SameBits(double a, double b) {
  return memcmp(&a, &b, sizeof a) == 0;
}

static void Read(int nlhs, mxArray** plhs, int nrhs, const mxArray** prhs) {
  const char* path;
  int section = 0, channels, count = -1, threads = 1, k, a, mode, shared;
  int* chosen = NULL;
  double first = 0.0, wanted = -1.0;
  uint32_t rows, held, take, got = 0;
  qtx_settings settings;
  NameSet taken;
  const mxArray* channel_option = NULL;
  const char** fields;
  char** names;
  size_t field_count, f, cells, named = 0;
  mxArray *d, *meta;
  char option[32];
  static const char* kInfoFields[] = {"file",      "description", "date",      "time", "time_pref",
                                      "x_columns", "section",     "first_row", "rows", "rows_in_file"};

  if (nlhs > 1) Fail("badArgument", "qtxread gives one output");
  if (nrhs < 1) Fail("badArgument", "qtxread needs a file name");
  path = Text(prhs[0], "the file name", 0);
  if ((nrhs - 1) % 2 != 0) Fail("badArgument", "options come as name, value pairs");
  for (a = 1; a < nrhs; a += 2) {
    const char* name = OptionName(prhs[a], option, sizeof option);
    if (SameName(name, "Section")) {
      section = (int)Whole(prhs[a + 1], "Section", 1, INT_MAX) - 1;
    } else if (SameName(name, "Channels")) {
      channel_option = prhs[a + 1];
    } else if (SameName(name, "Rows")) {
      const mxArray* v = prhs[a + 1];
      const double* p;
      if (!mxIsDouble(v) || mxIsComplex(v) || mxIsSparse(v) || mxGetNumberOfElements(v) != 2)
        Fail("badArgument", "Rows must be [first count]: two real doubles");
      p = mxGetPr(v);
      if (!(p[0] >= 1 && p[0] <= 4294967296.0) || p[0] != floor(p[0]))
        Fail("badArgument", "Rows: first must be a whole number from 1 to 4294967296, not %g", p[0]);
      if (!(p[1] >= 0) || (p[1] != floor(p[1]) && !isinf(p[1])))
        Fail("badArgument", "Rows: count must be a whole number from 0, or Inf, not %g", p[1]);
      first = p[0] - 1;
      wanted = p[1];
    } else if (SameName(name, "Threads")) {
      threads = (int)Whole(prhs[a + 1], "Threads", 0, 1024);
    } else {
      Fail("badArgument", "qtxread has no option '%s' (Section, Channels, Rows, Threads)", name);
    }
  }

  Open(path);
  if (section >= qtx_section_count(g_file))
    Fail("badArgument", "Section %d: the file has %d section(s)", section + 1, qtx_section_count(g_file));
  qtx_get_settings(g_file, &settings);
  mode = settings.x_columns;
  channels = qtx_channel_count(g_file, section);
  rows = qtx_row_count(g_file, section);
  held = qtx_rows_in_file(g_file, section);

  /* The chosen channels, 0-based, in the order asked for. */
  if (!channel_option) {
    count = channels;
    chosen = (int*)Small((size_t)(count > 0 ? count : 1), sizeof(int));
    for (k = 0; k < count; ++k) chosen[k] = k;
  } else if (mxIsCell(channel_option)) {
    cells = mxGetNumberOfElements(channel_option);
    if (cells == 0) Fail("badArgument", "Channels must name at least one channel");
    if (cells > (size_t)channels) Fail("badArgument", "Channels names %zu channels; section %d has %d", cells, section + 1, channels);
    count = (int)cells;
    chosen = (int*)Small(cells, sizeof(int));
    for (k = 0; k < count; ++k) {
      const mxArray* cell = mxGetCell(channel_option, (mwIndex)k);
      char* heading;
      int c, found = -1;
      if (!cell || !IsText(cell) || mxGetNumberOfElements(cell) == 0)
        Fail("badArgument", "Channels{%d} must be a heading (a non-empty text)", k + 1);
      heading = Text(cell, "a channel heading", 0);
      for (c = 0; c < channels && found < 0; ++c)
        if (!strcmp(ChannelText(section, c, QTX_TEXT_Y_HEADING), heading)) found = c;
      if (found < 0) Fail("badArgument", "section %d has no channel with the heading '%s'", section + 1, heading);
      mxFree(heading);
      chosen[k] = found;
    }
  } else if (mxIsNumeric(channel_option) && !mxIsComplex(channel_option) && !mxIsSparse(channel_option)) {
    /* Any numeric class, as doubles. */
    mxArray* converted = NULL;
    const double* numbers;
    if (!mxIsDouble(channel_option)) {
      mxArray* in = (mxArray*)channel_option;
      if (mexCallMATLAB(1, &converted, 1, &in, "double") != 0 || !converted || !mxIsDouble(converted))
        Fail("badArgument", "Channels must be a vector of channel numbers");
    }
    numbers = mxGetPr(converted ? converted : channel_option);
    cells = mxGetNumberOfElements(channel_option);
    if (cells == 0) Fail("badArgument", "Channels must name at least one channel");
    if (cells > (size_t)channels) Fail("badArgument", "Channels names %zu channels; section %d has %d", cells, section + 1, channels);
    count = (int)cells;
    chosen = (int*)Small(cells, sizeof(int));
    for (k = 0; k < count; ++k) {
      const double v = numbers[k];
      if (!(v >= 1 && v <= channels) || v != floor(v))
        Fail("badArgument", "Channels(%d) = %g: section %d has channels 1 to %d", k + 1, v, section + 1, channels);
      chosen[k] = (int)v - 1;
    }
  } else {
    Fail("badArgument", "Channels must be a cell array of headings or a vector of channel numbers");
  }
  for (k = 0; k < count; ++k) {
    int j;
    for (j = 0; j < k; ++j)
      if (chosen[j] == chosen[k]) Fail("badArgument", "Channels names channel %d twice", chosen[k] + 1);
  }

  /* The rows: [first, first + take) of the section's. */
  if (first > rows) Fail("badArgument", "Rows starts at row %.0f; section %d has %lu rows", first + 1, section + 1, (unsigned long)rows);
  take = rows - (uint32_t)first;
  if (wanted >= 0 && wanted < take) take = (uint32_t)wanted;
  if (qtx_set_threads(g_file, threads) != QTX_OK) Fail("badArgument", "Threads %d refused", threads);

  /* One pass over every channel of the section, when it is asked for whole
   * and in order; otherwise a pass per channel chosen. Rows the file lacks
   * keep the NaN they start with. */
  {
    const size_t per = take;
    const size_t total = (size_t)count * per;
    int whole = count == channels;
    double *x, *y;
    for (k = 0; k < count && whole; ++k) whole = chosen[k] == k;
    if ((double)total * 2.0 * sizeof(double) > (double)SIZE_MAX) Fail("memory", "the read does not fit in memory");
    g_buffers[0] = x = Values(total);
    g_buffers[1] = y = Values(total);
    for (f = 0; f < total; ++f) x[f] = y[f] = mxGetNaN();
    if (take > 0 && whole) {
      qtx_status status = qtx_read_rows(g_file, section, -1, (uint32_t)first, take, x, y, &got);
      if (status != QTX_OK) FailStatus(status, "cannot read", path);
    } else if (take > 0) {
      for (k = 0; k < count; ++k) {
        qtx_status status = qtx_read_rows(g_file, section, chosen[k], (uint32_t)first, take, x + k * per,
                                          y + k * per, &got);
        if (status != QTX_OK) FailStatus(status, "cannot read", path);
      }
    }
  }

  /* X once where the channels share it: mode One, or mode No with one grid. */
  shared = mode == QTX_X_ONE;
  if (mode == QTX_X_NO && count > 0) {
    qtx_channel_info info0, info;
    shared = 1;
    qtx_get_channel_info(g_file, section, chosen[0], &info0);
    for (k = 1; k < count && shared; ++k) {
      qtx_get_channel_info(g_file, section, chosen[k], &info);
      shared = SameBits(info.x0, info0.x0) && SameBits(info.delta_x, info0.delta_x);
    }
  }

  /* Field names: valid names from the headings, distinct, and none of the
   * struct's own. */
  field_count = 2 + (shared ? 1 : 0) + (size_t)count * (shared ? 1 : 2);
  names = (char**)Small(field_count, sizeof(char*));
  taken.size = 16;
  while (taken.size < 2 * field_count + 8) taken.size *= 2;
  taken.slots = (char**)Small(taken.size, sizeof(char*));
  {
    static const char* own[] = {"info", "channels", "X"};
    for (f = 0; f < (shared ? 3u : 2u); ++f) {
      names[named] = (char*)Small(strlen(own[f]) + 1, 1);
      strcpy(names[named], own[f]);
      Take(&taken, names[named++]);
    }
  }
  for (k = 0; k < count; ++k) {
    char* name = FieldName(ChannelText(section, chosen[k], QTX_TEXT_Y_HEADING), "", &taken);
    names[named++] = name;
    Take(&taken, name);
    if (!shared) {
      char* xname = FieldName(name, "_X", &taken);
      names[named++] = xname;
      Take(&taken, xname);
    }
  }
  fields = (const char**)(void*)names;

  d = mxCreateStructMatrix(1, 1, (int)field_count, fields);
  meta = mxCreateStructMatrix(1, 1, (int)(sizeof kInfoFields / sizeof kInfoFields[0]), kInfoFields);
  mxSetField(meta, 0, "file", mxCreateString(path));
  mxSetField(meta, 0, "description", mxCreateString(FileText(QTX_FILE_DESCRIPTION)));
  mxSetField(meta, 0, "date", mxCreateString(FileText(QTX_FILE_DATE)));
  mxSetField(meta, 0, "time", mxCreateString(FileText(QTX_FILE_TIME)));
  mxSetField(meta, 0, "time_pref", mxCreateString(FileText(QTX_FILE_TIME_PREF)));
  mxSetField(meta, 0, "x_columns", mxCreateString(ModeName(mode)));
  mxSetField(meta, 0, "section", Number(section + 1));
  mxSetField(meta, 0, "first_row", Number(first + 1));
  mxSetField(meta, 0, "rows", Number(take));
  mxSetField(meta, 0, "rows_in_file", Number(held));
  mxSetField(d, 0, "info", meta);
  {
    char** channel_names = (char**)Small((size_t)count, sizeof(char*));
    const size_t step = shared ? 1 : 2;
    for (k = 0; k < count; ++k) channel_names[k] = names[(shared ? 3 : 2) + (size_t)k * step];
    mxSetField(d, 0, "channels", ChannelArray(section, chosen, count, channel_names));
  }
  if (shared) mxSetField(d, 0, "X", Column(g_buffers[0], take));
  for (k = 0; k < count; ++k) {
    /* Each channel's own rows: those of the range below its Samples. */
    qtx_channel_info info = {0, 0.0, 0.0};
    uint32_t own;
    const size_t at = (shared ? 3 : 2) + (size_t)k * (shared ? 1 : 2);
    qtx_get_channel_info(g_file, section, chosen[k], &info);
    own = info.samples > first ? info.samples - (uint32_t)first : 0;
    if (own > take) own = take;
    mxSetField(d, 0, names[at], Column(g_buffers[1] + (size_t)k * take, own));
    if (!shared) mxSetField(d, 0, names[at + 1], Column(g_buffers[0] + (size_t)k * take, own));
  }
  Release();
  plhs[0] = d;
}

/* ---- Info ---------------------------------------------------------------- */

static void Info(int nlhs, mxArray** plhs, int nrhs, const mxArray** prhs) {
  static const char* kFields[] = {"file", "description", "date", "time", "time_pref", "x_columns", "sections"};
  static const char* kSectionFields[] = {"index", "rows", "rows_in_file", "channels"};
  const char* path;
  int sections, s, k, *all = NULL, most = 0;
  qtx_settings settings;
  mxArray *info, *array;
  if (nlhs > 1) Fail("badArgument", "qtxinfo gives one output");
  if (nrhs != 1) Fail("badArgument", "qtxinfo takes a file name alone");
  path = Text(prhs[0], "the file name", 0);
  Open(path);
  qtx_get_settings(g_file, &settings);
  sections = qtx_section_count(g_file);
  for (s = 0; s < sections; ++s)
    if (qtx_channel_count(g_file, s) > most) most = qtx_channel_count(g_file, s);
  all = (int*)Small((size_t)(most > 0 ? most : 1), sizeof(int));
  for (k = 0; k < most; ++k) all[k] = k;

  if (nlhs == 0) {
    mexPrintf("%s: %s, X columns %s, %d section(s)\n", path, FileText(QTX_FILE_DESCRIPTION),
              ModeName(settings.x_columns), sections);
    mexPrintf("  Date %s, Time %s, Time_Pref %s\n", FileText(QTX_FILE_DATE), FileText(QTX_FILE_TIME),
              FileText(QTX_FILE_TIME_PREF));
    for (s = 0; s < sections; ++s) {
      mexPrintf("section %d: %d channel(s), %lu rows declared, %lu in the file\n", s + 1,
                qtx_channel_count(g_file, s), (unsigned long)qtx_row_count(g_file, s),
                (unsigned long)qtx_rows_in_file(g_file, s));
      mexPrintf("  %4s  %-20s %-10s %-14s %10s %14s %14s\n", "#", "heading", "unit", "dimension", "Samples", "X0",
                "Delta_X");
      for (k = 0; k < qtx_channel_count(g_file, s); ++k) {
        qtx_channel_info ci = {0, 0.0, 0.0};
        qtx_get_channel_info(g_file, s, k, &ci);
        mexPrintf("  %4d  %-20s %-10s %-14s %10lu %14.7g %14.7g\n", k + 1, ChannelText(s, k, QTX_TEXT_Y_HEADING),
                  ChannelText(s, k, QTX_TEXT_Y_UNIT_LABEL), ChannelText(s, k, QTX_TEXT_Y_DIMENSION),
                  (unsigned long)ci.samples, ci.x0, ci.delta_x);
      }
    }
    Release();
    return;
  }
  info = mxCreateStructMatrix(1, 1, (int)(sizeof kFields / sizeof kFields[0]), kFields);
  mxSetField(info, 0, "file", mxCreateString(path));
  mxSetField(info, 0, "description", mxCreateString(FileText(QTX_FILE_DESCRIPTION)));
  mxSetField(info, 0, "date", mxCreateString(FileText(QTX_FILE_DATE)));
  mxSetField(info, 0, "time", mxCreateString(FileText(QTX_FILE_TIME)));
  mxSetField(info, 0, "time_pref", mxCreateString(FileText(QTX_FILE_TIME_PREF)));
  mxSetField(info, 0, "x_columns", mxCreateString(ModeName(settings.x_columns)));
  array = mxCreateStructMatrix((mwSize)sections, 1, 4, kSectionFields);
  for (s = 0; s < sections; ++s) {
    mxSetField(array, s, "index", Number(s + 1));
    mxSetField(array, s, "rows", Number(qtx_row_count(g_file, s)));
    mxSetField(array, s, "rows_in_file", Number(qtx_rows_in_file(g_file, s)));
    mxSetField(array, s, "channels", ChannelArray(s, all, qtx_channel_count(g_file, s), NULL));
  }
  mxSetField(info, 0, "sections", array);
  Release();
  plhs[0] = info;
}

/* ---- Write --------------------------------------------------------------- */

/* A per-channel text option: one text for every channel, or a cell array of
 * one per channel. texts[k] are mxMalloc'd (freed with the call). */
static void TextsOption(const mxArray* v, const char* what, int count, char** texts) {
  int k;
  if (IsText(v)) {
    char* one = Text(v, what, 0);
    CheckWritable(one, what, 0);
    for (k = 0; k < count; ++k) texts[k] = one;
    return;
  }
  if (!mxIsCell(v) || mxGetNumberOfElements(v) != (size_t)count)
    Fail("badArgument", "%s must be a text or a cell array of %d texts, one per column of Y", what, count);
  for (k = 0; k < count; ++k) {
    const mxArray* cell = mxGetCell(v, (mwIndex)k);
    char label[64];
    snprintf(label, sizeof label, "%s{%d}", what, k + 1);
    if (!cell) Fail("badArgument", "%s must be a text", label);
    texts[k] = Text(cell, label, 0);
    CheckWritable(texts[k], what, k + 1);
  }
}

/* A per-channel number option: a scalar for every channel or one per channel. */
static void NumbersOption(const mxArray* v, const char* what, int count, double* numbers) {
  size_t n;
  int k;
  if (!mxIsDouble(v) || mxIsComplex(v) || mxIsSparse(v))
    Fail("badArgument", "%s must be real doubles", what);
  n = mxGetNumberOfElements(v);
  if (n != 1 && n != (size_t)count) Fail("badArgument", "%s must be one number or %d, one per column of Y", what, count);
  for (k = 0; k < count; ++k) {
    numbers[k] = mxGetPr(v)[n == 1 ? 0 : k];
    if (!isfinite(numbers[k])) Fail("badArgument", "%s must be finite", what);
  }
}

/* Whether a header number reads back as itself (7 significant digits). */
static int KeptInHeader(double v) {
  char text[32];
  snprintf(text, sizeof text, "%.6e", v);
  return strtod(text, NULL) == v;
}

static void Write(int nlhs, int nrhs, const mxArray** prhs) {
  const char* path;
  const mxArray *X, *Y;
  int mode = QTX_X_ONE, count, k, a;
  size_t rows, xn;
  const mxArray *headings = NULL, *units = NULL, *dimensions = NULL, *x0_option = NULL, *dx_option = NULL;
  const char *x_heading = "X_Value", *x_unit = "-", *x_dimension = NULL;
  qtx_header_setup header = {NULL, NULL, NULL, NULL};
  qtx_channel_setup* setup;
  char **y_headings, **y_units, **y_dimensions;
  double *x0, *dx;
  const double* xs = NULL;
  char option[32];
  qtx_status status;

  if (nlhs > 0) Fail("badArgument", "qtxwrite gives no output");
  if (nrhs < 3) Fail("badArgument", "qtxwrite needs a file name, X and Y");
  path = Text(prhs[0], "the file name", 0);
  X = prhs[1];
  Y = prhs[2];
  if ((nrhs - 3) % 2 != 0) Fail("badArgument", "options come as name, value pairs");
  for (a = 3; a < nrhs; a += 2) {
    const char* name = OptionName(prhs[a], option, sizeof option);
    const mxArray* v = prhs[a + 1];
    if (SameName(name, "Mode")) {
      char* m = Text(v, "Mode", 0);
      if (SameName(m, "No")) mode = QTX_X_NO;
      else if (SameName(m, "One")) mode = QTX_X_ONE;
      else if (SameName(m, "Multi")) mode = QTX_X_MULTI;
      else Fail("badArgument", "Mode must be 'No', 'One' or 'Multi', not '%s'", m);
    } else if (SameName(name, "Headings")) {
      headings = v;
    } else if (SameName(name, "Units")) {
      units = v;
    } else if (SameName(name, "Dimensions")) {
      dimensions = v;
    } else if (SameName(name, "XHeading")) {
      x_heading = Text(v, "XHeading", 0);
      CheckWritable(x_heading, "XHeading", 0);
    } else if (SameName(name, "XUnit")) {
      x_unit = Text(v, "XUnit", 0);
      CheckWritable(x_unit, "XUnit", 0);
    } else if (SameName(name, "XDimension")) {
      x_dimension = Text(v, "XDimension", 0);
      CheckWritable(x_dimension, "XDimension", 0);
    } else if (SameName(name, "X0")) {
      x0_option = v;
    } else if (SameName(name, "Delta_X")) {
      dx_option = v;
    } else if (SameName(name, "Description")) {
      header.description = Text(v, "Description", 0);
      CheckWritable(header.description, "Description", 0);
    } else {
      Fail("badArgument",
           "qtxwrite has no option '%s' (Mode, Headings, Units, Dimensions, XHeading, XUnit, XDimension, X0, "
           "Delta_X, Description)", name);
    }
  }
  if (!x_dimension) x_dimension = x_heading;

  /* Y: rows x channels, real doubles; a vector is one channel. */
  if (!mxIsDouble(Y) || mxIsComplex(Y) || mxIsSparse(Y) || mxGetNumberOfDimensions(Y) != 2)
    Fail("badArgument", "Y must be a real double matrix, rows x channels");
  if (mxGetM(Y) == 1 && mxGetN(Y) > 1) {
    rows = mxGetN(Y);
    count = 1;
  } else {
    rows = mxGetM(Y);
    if (mxGetN(Y) > (size_t)INT_MAX / 2) Fail("badArgument", "Y has too many columns");
    count = (int)mxGetN(Y);
  }
  if (count < 1) Fail("badArgument", "Y must have at least one column");
  if (rows > UINT32_MAX) Fail("badArgument", "a section holds at most 4294967295 rows");

  /* X by mode: none, one column, or one per channel (or one for all). */
  xn = mxGetNumberOfElements(X);
  if (mode == QTX_X_NO) {
    if (xn != 0) Fail("badArgument", "Mode 'No' writes no X column: give [] for X, and X0 and Delta_X");
  } else {
    if (!mxIsDouble(X) || mxIsComplex(X) || mxIsSparse(X) || mxGetNumberOfDimensions(X) != 2)
      Fail("badArgument", "X must be real doubles");
    if (mode == QTX_X_ONE && !(xn == rows && (mxGetM(X) == 1 || mxGetN(X) == 1)))
      Fail("badArgument", "X must be a vector of %zu values, one per row of Y", rows);
    if (mode == QTX_X_MULTI && !(xn == rows && (mxGetM(X) == 1 || mxGetN(X) == 1)) &&
        !(mxGetM(X) == rows && mxGetN(X) == (size_t)count))
      Fail("badArgument", "X must be a vector of %zu values or a %zu x %d matrix, as Y", rows, rows, count);
    xs = mxGetPr(X);
    if (mode == QTX_X_MULTI && count > 1 && xn == rows) {
      /* One X for every channel: repeated, as the writer takes one per channel. */
      double* copy = Values((size_t)count * rows);
      g_buffers[0] = copy;
      for (k = 0; k < count; ++k) memcpy(copy + (size_t)k * rows, xs, rows * sizeof(double));
      xs = copy;
    }
  }

  setup = (qtx_channel_setup*)Small((size_t)count, sizeof *setup);
  y_headings = (char**)Small((size_t)count, sizeof(char*));
  y_units = (char**)Small((size_t)count, sizeof(char*));
  y_dimensions = (char**)Small((size_t)count, sizeof(char*));
  x0 = (double*)Small((size_t)count, sizeof(double));
  dx = (double*)Small((size_t)count, sizeof(double));
  if (headings) {
    TextsOption(headings, "Headings", count, y_headings);
  } else {
    for (k = 0; k < count; ++k) {
      y_headings[k] = (char*)mxMalloc(16);
      snprintf(y_headings[k], 16, "Y%d", k + 1);
    }
  }
  if (units) {
    TextsOption(units, "Units", count, y_units);
  } else {
    for (k = 0; k < count; ++k) y_units[k] = "-";
  }
  if (dimensions) {
    TextsOption(dimensions, "Dimensions", count, y_dimensions);
  } else {
    for (k = 0; k < count; ++k) y_dimensions[k] = y_headings[k];
  }
  /* X0 and Delta_X: given, or in modes One and Multi the first X and the
   * mean step; in mode No 0 and 1, and they must read back as given. */
  for (k = 0; k < count; ++k) {
    const double* column = xs ? xs + (mode == QTX_X_MULTI ? (size_t)k * rows : 0) : NULL;
    x0[k] = mode == QTX_X_NO || rows == 0 ? 0.0 : column[0];
    dx[k] = mode == QTX_X_NO ? 1.0 : rows > 1 ? (column[rows - 1] - column[0]) / (double)(rows - 1) : 0.0;
    if (!isfinite(x0[k])) x0[k] = 0.0;
    if (!isfinite(dx[k])) dx[k] = 0.0;
  }
  if (x0_option) NumbersOption(x0_option, "X0", count, x0);
  if (dx_option) NumbersOption(dx_option, "Delta_X", count, dx);
  if (mode == QTX_X_NO)
    for (k = 0; k < count; ++k)
      if (!KeptInHeader(x0[k]) || !KeptInHeader(dx[k]))
        Fail("badArgument", "Mode 'No': X0 %.17g and Delta_X %.17g must have at most 7 significant digits, as "
             "the header keeps them", x0[k], dx[k]);
  for (k = 0; k < count; ++k) {
    setup[k].y_heading = y_headings[k];
    setup[k].x_heading = x_heading;
    setup[k].y_dimension = y_dimensions[k];
    setup[k].y_unit_label = y_units[k];
    setup[k].x_dimension = x_dimension;
    setup[k].x_unit_label = x_unit;
    setup[k].x0 = x0[k];
    setup[k].delta_x = dx[k];
    setup[k].samples = (uint32_t)rows;
  }

  status = qtx_writer_create_replacing(path, mode, &header, &g_writer);
  if (status != QTX_OK) FailStatus(status, "cannot write", path);
  status = qtx_write_section_header(g_writer, setup, count);
  if (status == QTX_OK) status = qtx_write_rows(g_writer, xs, mxGetPr(Y), (uint32_t)rows);
  if (status != QTX_OK) FailStatus(status, "cannot write", path);
  status = qtx_writer_close(g_writer);
  g_writer = NULL;
  if (status != QTX_OK) FailStatus(status, "cannot write", path);
  Release();
}

/* ---- Gateway ------------------------------------------------------------- */

void mexFunction(int nlhs, mxArray** plhs, int nrhs, const mxArray** prhs) {
  char command[16];
  mexAtExit(Release);
  Release();
  if (nrhs < 1 || !IsText(prhs[0]) || mxGetString(prhs[0], command, sizeof command) != 0)
    Fail("badArgument", "qtxmex needs a command: 'read', 'info', 'write' or 'version'");
  if (!strcmp(command, "read")) {
    Read(nlhs, plhs, nrhs - 1, prhs + 1);
  } else if (!strcmp(command, "info")) {
    Info(nlhs, plhs, nrhs - 1, prhs + 1);
  } else if (!strcmp(command, "write")) {
    Write(nlhs, nrhs - 1, prhs + 1);
  } else if (!strcmp(command, "version")) {
    plhs[0] = mxCreateString(qtx_version());
  } else {
    Fail("badArgument", "qtxmex has no command '%s'", command);
  }
}

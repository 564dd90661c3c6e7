// The C interface: the exported classes behind opaque handles and statuses.
// Every entry point catches everything, so that no exception reaches a C
// caller; the checks of the arguments come first, before anything changes.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "qtx/QTXLibrary.h"
#include "qtx/qtx.h"
#include "writer/DataRow.h"

#include "capi/QtxFile.h"

struct qtx_writer {
  // A writer that replaces its file: removes the temporary file that was not
  // renamed into place.
  ~qtx_writer() {
    if (temporary.empty()) return;
    out.close();
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
  }

  std::ofstream out;
  std::string temporary;  // qtx_writer_create_replacing: the file written, until renamed
  std::string target;     // and the file it replaces
  CString date;  // the stamps of every header; empty: the clock's
  CString time;
  int mode = 0;
  int channels = 0;
  bool inSection = false;
  bool failed = false;        // a write failed; reported by every later call
  std::uint32_t rowsDue = 0;  // rows the current section declares
  std::uint32_t rowsWritten = 0;
  std::string buffer;  // rows as text, written in large pieces
};

namespace {

qtx_status StatusOfCause(int cause) {
  switch (cause) {
    case CFileException::fileNotFound:
    case CFileException::badPath: return QTX_ERR_NOT_FOUND;
    case CFileException::accessDenied: return QTX_ERR_ACCESS;
    case CFileException::sharingViolation:
    case CFileException::lockViolation: return QTX_ERR_SHARING;
    default: return QTX_ERR_IO;
  }
}

// Runs `body`, turning every exception into a status.
template <class Body>
qtx_status Guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return QTX_ERR_MEMORY;
  } catch (const CFileException& e) {
    return StatusOfCause(e.m_cause);
  } catch (...) {
    return QTX_ERR_INTERNAL;
  }
}

CQTXSection* SectionAt(const qtx_file* file, int section) {
  if (!file || section < 0 || section >= file->qtx.m_arrSections.GetSize()) return nullptr;
  return file->qtx.m_arrSections.GetAt(section);
}

CQTXChannel* ChannelAt(const qtx_file* file, int section, int channel) {
  const CQTXSection* s = SectionAt(file, section);
  if (!s || channel < 0 || channel >= s->m_arrChannels.GetSize()) return nullptr;
  return s->m_arrChannels.GetAt(channel);
}

std::uint32_t RowCount(const CQTXSection& section) {
  std::uint32_t rows = 0;
  for (std::ptrdiff_t c = 0; c < section.m_arrChannels.GetSize(); ++c)
    rows = std::max(rows, section.m_arrChannels.GetAt(c)->m_nSamples);
  return rows;
}

// The channels a read of `channel` covers: that one, or all for -1.
// The channels of a section that a read of all of them covers.
int ChannelsRead(const CQTXSection& s) {
  return static_cast<int>(std::min<std::ptrdiff_t>(s.m_arrChannels.GetSize(), std::max(s.m_nChannels, 0)));
}

void ChannelTargets(const CQTXSection& s, int channel, double* x, double* y, std::size_t stride,
                    std::vector<QTXChannelTarget>& targets) {
  const int count = ChannelsRead(s);
  const int first = channel >= 0 ? channel : 0;
  const int last = channel >= 0 ? channel + 1 : count;
  for (int c = first; c < last; ++c) {
    const std::size_t offset = static_cast<std::size_t>(c - first) * stride;
    targets.push_back({c, x ? x + offset : nullptr, y ? y + offset : nullptr});
  }
}

// Reads rows [first, first + count) of one channel, or of all for channel -1,
// straight into the caller's arrays: channel i of those read at x + i *
// stride. Split over the file's threads when it has more than one.
QTXRowsRead ReadRange(qtx_file* file, const CQTXSection& s, int channel, std::uint32_t first, std::uint32_t count,
                      double* x, double* y, std::size_t stride) {
  std::vector<QTXChannelTarget> targets;
  ChannelTargets(s, channel, x, y, stride, targets);
  if (file->threads == 1)
    return file->qtx.QTX_ReadRows(&file->data, &s, first, count, targets.data(), targets.size());
  return file->qtx.QTX_ReadRowsParallel(&file->data, &s, first, count, targets.data(), targets.size(),
                                        file->threads);
}

// Reads every row of one channel, or of all for channel -1, into the
// caller's arrays: channel i of those read at x + i * capacity. *rows
// receives the rows the file holds; the entries of rows it lacks hold 0.0.
qtx_status ReadValues(qtx_file* file, int section, int channel, double* x, double* y, std::uint32_t capacity,
                      std::uint32_t* rows) {
  if (rows) *rows = 0;
  CQTXSection* s = SectionAt(file, section);
  if (!s || !rows || (channel >= 0 && !ChannelAt(file, section, channel))) return QTX_ERR_ARGUMENT;
  if ((!x || !y) && capacity > 0) return QTX_ERR_ARGUMENT;
  const std::uint32_t nRows = RowCount(*s);
  if (capacity < nRows) return QTX_ERR_CAPACITY;
  return Guarded([&]() -> qtx_status {
    const QTXRowsRead read = ReadRange(file, *s, channel, 0, nRows, x, y, capacity);
    const std::size_t channels = channel >= 0 ? 1 : static_cast<std::size_t>(ChannelsRead(*s));
    for (std::size_t c = 0; c < channels; ++c) {
      std::fill(x + c * capacity + read.nRows, x + c * capacity + nRows, 0.0);
      std::fill(y + c * capacity + read.nRows, y + c * capacity + nRows, 0.0);
    }
    *rows = read.nRows;
    return QTX_OK;
  });
}

// A text that reads back as written in a section header: not empty, no
// separator or line end, no white space at the end (the reader trims lines).
bool IsWritableText(const char* text) {
  if (!text || !*text) return false;
  if (std::strpbrk(text, "\t\r\n")) return false;
  const char end = text[std::strlen(text) - 1];
  return !(end == ' ' || end == '\v' || end == '\f');
}

qtx_status StatusOfErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return QTX_ERR_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return QTX_ERR_ACCESS;
    default: return QTX_ERR_IO;
  }
}

// Writes the rows gathered so far; a failure sticks to the writer.
qtx_status Flush(qtx_writer& writer) {
  writer.out.write(writer.buffer.data(), static_cast<std::streamsize>(writer.buffer.size()));
  writer.buffer.clear();
  if (!writer.out) writer.failed = true;
  return writer.failed ? QTX_ERR_IO : QTX_OK;
}

// The file a replacing writer writes: a name no file in the target's folder
// has, hidden, after the target; symbolic links followed to the file they
// lead to, so that a link stays a link.
qtx_status PlaceTemporary(const char* path, qtx_writer& writer) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path target = path;
  for (int i = 0; i < 40 && fs::is_symlink(fs::symlink_status(target, error)); ++i) {
    const fs::path link = fs::read_symlink(target, error);
    if (error) break;
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  const fs::file_status status = fs::status(target, error);
  if (status.type() == fs::file_type::directory) return QTX_ERR_ACCESS;
  if (status.type() != fs::file_type::regular && status.type() != fs::file_type::not_found &&
      status.type() != fs::file_type::none)
    return QTX_ERR_NOT_REGULAR;
  if (target.filename().empty()) return QTX_ERR_ARGUMENT;
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  auto seed = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
              reinterpret_cast<std::uintptr_t>(&writer);
  for (int attempt = 0; attempt < 100; ++attempt, seed = seed * 6364136223846793005ULL + 1442695040888963407ULL) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08llx.tmp", (seed >> 24) & 0xffffffffULL);
    const fs::path candidate = folder / ("." + target.filename().string() + suffix);
    if (fs::exists(fs::symlink_status(candidate, error))) continue;
    writer.temporary = candidate.string();
    writer.target = target.string();
    return QTX_OK;
  }
  return QTX_ERR_IO;
}

qtx_status CreateWriter(const char* path, int x_columns, const qtx_header_setup* header, bool replacing,
                        qtx_writer** writer) {
  if (writer) *writer = nullptr;
  if (!path || !writer || x_columns < QTX_X_NO || x_columns > QTX_X_MULTI) return QTX_ERR_ARGUMENT;
  // A text not given takes the default; one given must read back as written.
  const qtx_header_setup none = {nullptr, nullptr, nullptr, nullptr};
  const qtx_header_setup& texts = header ? *header : none;
  for (const char* text : {texts.description, texts.time_pref, texts.date, texts.time})
    if (text && *text && !IsWritableText(text)) return QTX_ERR_ARGUMENT;
  return Guarded([&]() -> qtx_status {
    std::unique_ptr<qtx_writer> created(new qtx_writer);
    created->mode = x_columns;
    // Binary: the same bytes on every system, LF line ends included.
    if (replacing) {
      const qtx_status placed = PlaceTemporary(path, *created);
      if (placed != QTX_OK) return placed;
    }
    errno = 0;
    created->out.open(replacing ? created->temporary.c_str() : path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!created->out) return StatusOfErrno(errno);
    CQTXGeneral stamps;
    if (texts.description) stamps.m_strDescription = texts.description;
    if (texts.time_pref) stamps.m_strTimePref = texts.time_pref;
    if (texts.date) created->date = stamps.m_strDate = texts.date;
    if (texts.time) created->time = stamps.m_strTime = texts.time;
    stamps.QTX_WriteMainHeaderStamped(created->out, x_columns);
    if (!created->out) return QTX_ERR_IO;
    *writer = created.release();
    return QTX_OK;
  });
}

}  // namespace

// The texts of the wall-clock statuses (QtxTime.cpp); "unknown status" for others.
const char* QtxTimeStatusText(qtx_status status);

extern "C" {

const char* qtx_version(void) {
  return QTX_VERSION;
}

const char* qtx_status_text(qtx_status status) {
  switch (status) {
    case QTX_OK: return "no error";
    case QTX_ERR_ARGUMENT: return "a null pointer, an index out of range or an unusable value";
    case QTX_ERR_NOT_FOUND: return "no such file";
    case QTX_ERR_ACCESS: return "access denied, or the path names a directory";
    case QTX_ERR_SHARING: return "another program holds the file";
    case QTX_ERR_IO: return "reading or writing the file failed";
    case QTX_ERR_FORMAT: return "the file ends before the main header's end line";
    case QTX_ERR_MEMORY: return "out of memory, or the file declares more than fits in it";
    case QTX_ERR_CAPACITY: return "the arrays are too small";
    case QTX_ERR_ROWS: return "the rows written do not match the section's Samples";
    case QTX_ERR_NO_RESULT: return "no result: no time step to estimate, or a step too small";
    case QTX_ERR_INTERNAL: return "an unexpected error inside the library";
    case QTX_ERR_NOT_REGULAR: return "not a regular file; qtx reads files it can seek in";
    case QTX_ERR_REPLACED: return "the file was replaced or rewritten while it was followed";
    default: return QtxTimeStatusText(status);
  }
}

namespace {

// follow: others may go on writing the file (no share mode denies them),
// and a last line without its line end waits for qtx_refresh.
qtx_status Open(const char* path, qtx_file** file, bool follow) {
  if (file) *file = nullptr;
  if (!path || !file) return QTX_ERR_ARGUMENT;
  return Guarded([&]() -> qtx_status {
    // The reads seek back, and a FIFO would not even open until someone
    // writes to it: refused before anything is opened. What is missing or
    // a folder, the open says best.
    std::error_code statusError;
    const auto type = std::filesystem::status(path, statusError).type();
    if (type != std::filesystem::file_type::regular && type != std::filesystem::file_type::directory &&
        type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none)
      return QTX_ERR_NOT_REGULAR;
    std::unique_ptr<qtx_file> opened(new qtx_file);
    CFileException error;
    const unsigned share = follow ? CFile::shareDenyNone : CFile::shareDenyWrite;
    if (!opened->data.Open(path, CFile::modeRead | share | CFile::typeText, &error))
      return StatusOfCause(error.m_cause);
    opened->path = path;
    if (!opened->qtx.QTX_OpenIndexed(CString(path), &opened->indexUse, follow ? 2 : 0)) return QTX_ERR_FORMAT;
    *file = opened.release();
    return QTX_OK;
  });
}

}  // namespace

qtx_status qtx_open(const char* path, qtx_file** file) { return Open(path, file, false); }

qtx_status qtx_open_follow(const char* path, qtx_file** file) { return Open(path, file, true); }

void qtx_close(qtx_file* file) {
  delete file;
}

qtx_status qtx_get_settings(const qtx_file* file, qtx_settings* settings) {
  if (!file || !settings) return QTX_ERR_ARGUMENT;
  const CQTXGeneral& qtx = file->qtx;
  settings->is_qtx_file = qtx.m_bQTXFile;
  settings->multi_headings = qtx.m_bMultiHeadings;
  settings->x_columns = qtx.m_nXColumns;
  settings->reader_version = qtx.m_dReaderVersion;
  settings->writer_version = qtx.m_dWriterVersion;
  return QTX_OK;
}

qtx_status qtx_get_separator(const qtx_file* file, const char** name, const char** delimiters) {
  if (!file || !name || !delimiters) return QTX_ERR_ARGUMENT;
  *name = file->qtx.m_strSeparatorName.GetString();
  *delimiters = file->qtx.m_strSeparator.GetString();
  return QTX_OK;
}

qtx_status qtx_get_file_text(const qtx_file* file, int which, const char** text, size_t* length) {
  if (!file || !text) return QTX_ERR_ARGUMENT;
  const CString* value = nullptr;
  switch (which) {
    case QTX_FILE_DESCRIPTION: value = &file->qtx.m_strDescription; break;
    case QTX_FILE_DATE: value = &file->qtx.m_strDate; break;
    case QTX_FILE_TIME: value = &file->qtx.m_strTime; break;
    case QTX_FILE_TIME_PREF: value = &file->qtx.m_strTimePref; break;
    default: return QTX_ERR_ARGUMENT;
  }
  *text = value->GetString();
  if (length) *length = value->View().size();
  return QTX_OK;
}

int qtx_section_count(const qtx_file* file) {
  return file ? static_cast<int>(file->qtx.m_arrSections.GetSize()) : -1;
}

int qtx_channel_count(const qtx_file* file, int section) {
  const CQTXSection* s = SectionAt(file, section);
  return s ? static_cast<int>(s->m_arrChannels.GetSize()) : -1;
}

uint32_t qtx_row_count(const qtx_file* file, int section) {
  const CQTXSection* s = SectionAt(file, section);
  return s ? RowCount(*s) : 0;
}

qtx_status qtx_get_channel_info(const qtx_file* file, int section, int channel, qtx_channel_info* info) {
  const CQTXChannel* ch = ChannelAt(file, section, channel);
  if (!ch || !info) return QTX_ERR_ARGUMENT;
  info->samples = ch->m_nSamples;
  info->x0 = ch->m_dX0;
  info->delta_x = ch->m_dDeltaX;
  return QTX_OK;
}

qtx_status qtx_get_channel_text(const qtx_file* file, int section, int channel, int which, const char** text,
                                size_t* length) {
  const CQTXChannel* ch = ChannelAt(file, section, channel);
  if (!ch || !text) return QTX_ERR_ARGUMENT;
  const CString* value = nullptr;
  switch (which) {
    case QTX_TEXT_X_UNIT_LABEL: value = &ch->m_strXUnitLabel; break;
    case QTX_TEXT_X_DIMENSION: value = &ch->m_strXDimension; break;
    case QTX_TEXT_Y_UNIT_LABEL: value = &ch->m_strYUnitLabel; break;
    case QTX_TEXT_Y_DIMENSION: value = &ch->m_strYDimension; break;
    case QTX_TEXT_X_HEADING: value = &ch->m_strXHeading; break;
    case QTX_TEXT_Y_HEADING: value = &ch->m_strYHeading; break;
    case QTX_TEXT_DATE: value = &ch->m_strDate; break;
    case QTX_TEXT_TIME: value = &ch->m_strTime; break;
    default: return QTX_ERR_ARGUMENT;
  }
  *text = value->GetString();
  if (length) *length = value->View().size();
  return QTX_OK;
}

qtx_status qtx_read_channel(qtx_file* file, int section, int channel, double* x, double* y, uint32_t capacity,
                            uint32_t* rows) {
  if (channel < 0) {
    if (rows) *rows = 0;
    return QTX_ERR_ARGUMENT;
  }
  return ReadValues(file, section, channel, x, y, capacity, rows);
}

qtx_status qtx_read_section(qtx_file* file, int section, double* x, double* y, uint32_t capacity,
                            uint32_t* rows) {
  return ReadValues(file, section, -1, x, y, capacity, rows);
}

qtx_status qtx_read_rows(qtx_file* file, int section, int channel, uint32_t first_row, uint32_t row_count,
                         double* x, double* y, uint32_t* got) {
  if (got) *got = 0;
  const CQTXSection* s = SectionAt(file, section);
  if (!s || !got || channel < -1 || (channel >= 0 && !ChannelAt(file, section, channel))) return QTX_ERR_ARGUMENT;
  if (!x && !y && row_count > 0) return QTX_ERR_ARGUMENT;
  return Guarded([&]() -> qtx_status {
    *got = ReadRange(file, *s, channel, first_row, row_count, x, y, row_count).nRows;
    return QTX_OK;
  });
}

uint32_t qtx_rows_in_file(const qtx_file* file, int section) {
  const CQTXSection* s = SectionAt(file, section);
  return s ? s->m_nRowsInFile : 0;
}

qtx_status qtx_set_threads(qtx_file* file, int threads) {
  if (!file || threads < 0) return QTX_ERR_ARGUMENT;
  file->threads = threads > 0 ? static_cast<unsigned>(threads) : std::max(1u, std::thread::hardware_concurrency());
  return QTX_OK;
}

qtx_status qtx_writer_create(const char* path, int x_columns, qtx_writer** writer) {
  return qtx_writer_create_stamped(path, x_columns, nullptr, writer);
}

qtx_status qtx_writer_create_stamped(const char* path, int x_columns, const qtx_header_setup* header,
                                     qtx_writer** writer) {
  return CreateWriter(path, x_columns, header, false, writer);
}

qtx_status qtx_writer_create_replacing(const char* path, int x_columns, const qtx_header_setup* header,
                                       qtx_writer** writer) {
  return CreateWriter(path, x_columns, header, true, writer);
}

qtx_status qtx_write_section_header(qtx_writer* writer, const qtx_channel_setup* channels, int count) {
  if (!writer || !channels || count < 1) return QTX_ERR_ARGUMENT;
  for (int c = 0; c < count; ++c) {
    const qtx_channel_setup& ch = channels[c];
    for (const char* text :
         {ch.y_heading, ch.x_heading, ch.y_dimension, ch.y_unit_label, ch.x_dimension, ch.x_unit_label})
      if (!IsWritableText(text)) return QTX_ERR_ARGUMENT;
  }
  if (writer->failed) return QTX_ERR_IO;
  if (writer->inSection && writer->rowsWritten != writer->rowsDue) return QTX_ERR_ROWS;
  return Guarded([&]() -> qtx_status {
    CQTXSection section;
    section.m_nChannels = count;
    std::uint32_t rows = 0;
    for (int c = 0; c < count; ++c) {
      const qtx_channel_setup& setup = channels[c];
      auto channel = std::make_unique<CQTXChannel>();
      channel->m_nIndex = c;
      channel->m_strYHeading = setup.y_heading;
      channel->m_strXHeading = setup.x_heading;
      channel->m_strYDimension = setup.y_dimension;
      channel->m_strYUnitLabel = setup.y_unit_label;
      channel->m_strXDimension = setup.x_dimension;
      channel->m_strXUnitLabel = setup.x_unit_label;
      channel->m_dX0 = setup.x0;
      channel->m_dDeltaX = setup.delta_x;
      channel->m_nSamples = setup.samples;
      channel->m_strDate = writer->date;
      channel->m_strTime = writer->time;
      rows = std::max(rows, setup.samples);
      section.m_arrChannels.Add(channel.get());
      channel.release();  // the section owns it now
    }
    section.WriteSectionHeaderStamped(writer->out, writer->mode);
    if (!writer->out) {
      writer->failed = true;
      return QTX_ERR_IO;
    }
    writer->inSection = true;
    writer->channels = count;
    writer->rowsDue = rows;
    writer->rowsWritten = 0;
    return QTX_OK;
  });
}

qtx_status qtx_write_rows(qtx_writer* writer, const double* x, const double* y, uint32_t rows) {
  if (!writer) return QTX_ERR_ARGUMENT;
  if (rows > 0 && (!y || (!x && writer->mode != QTX_X_NO))) return QTX_ERR_ARGUMENT;
  if (writer->failed) return QTX_ERR_IO;
  if (!writer->inSection || rows > writer->rowsDue - writer->rowsWritten) return QTX_ERR_ROWS;
  return Guarded([&]() -> qtx_status {
    constexpr std::size_t kFlushAt = std::size_t{1} << 16;
    for (std::uint32_t r = 0; r < rows; ++r) {
      qtx::writer::AppendDataRow(writer->buffer, writer->mode, static_cast<std::size_t>(writer->channels),
                                 x ? x + r : nullptr, y + r, rows);
      if (writer->buffer.size() >= kFlushAt && Flush(*writer) != QTX_OK) return QTX_ERR_IO;
    }
    if (Flush(*writer) != QTX_OK) return QTX_ERR_IO;
    writer->rowsWritten += rows;
    return QTX_OK;
  });
}

qtx_status qtx_writer_close(qtx_writer* writer) {
  if (!writer) return QTX_OK;
  const std::unique_ptr<qtx_writer> owned(writer);
  return Guarded([&]() -> qtx_status {
    qtx_status status = writer->failed ? QTX_ERR_IO : QTX_OK;
    if (status == QTX_OK && writer->inSection && writer->rowsWritten != writer->rowsDue)
      status = QTX_ERR_ROWS;
    writer->out.close();
    if (!writer->out && status == QTX_OK) status = QTX_ERR_IO;
    if (status == QTX_OK && !writer->temporary.empty()) {
      namespace fs = std::filesystem;
      std::error_code error;
      // The replacement keeps the permissions of the file it replaces.
      const fs::file_status replaced = fs::status(writer->target, error);
      if (replaced.type() == fs::file_type::regular)
        fs::permissions(writer->temporary, replaced.permissions(), error);
      fs::rename(writer->temporary, writer->target, error);
      if (error) return StatusOfErrno(error.value());
      writer->temporary.clear();
    }
    return status;
  });
}

qtx_status qtx_estimate_time_step(uint32_t count, double start, double end, double* step) {
  if (!step) return QTX_ERR_ARGUMENT;
  *step = CQTXGeneral::EstimateTimeStep(nullptr, count, start, end);
  return *step == -1.0 ? QTX_ERR_NO_RESULT : QTX_OK;
}

qtx_status qtx_resample(const double* x, const double* y, uint32_t count, double start, double step,
                        double* out, uint32_t capacity, uint32_t* written) {
  if (written) *written = 0;
  if (!x || !y || !written || (!out && capacity > 0)) return QTX_ERR_ARGUMENT;
  if (count < 2 || !(step > std::numeric_limits<double>::min()) || std::isinf(step) || !std::isfinite(start))
    return QTX_ERR_ARGUMENT;
  double unused;  // the resampler wants an array even for no room at all
  std::uint32_t stored = capacity;
  // The resampler only reads y.
  if (!CQTXGeneral::QTX_InterpolateData(start, step, x, const_cast<double*>(y), count, stored,
                                        out ? out : &unused))
    return QTX_ERR_NO_RESULT;
  *written = stored;
  return QTX_OK;
}

}  // extern "C"

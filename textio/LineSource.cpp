#include "textio/LineSource.h"

#include <cstring>
#include <limits>
#include <new>

namespace qtx::textio {

std::size_t LineSource::DefaultMaxLineLength() noexcept {
  // A CString's length is an int, which also bounds a line.
  constexpr std::uint64_t kIntMax = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
  const std::uint64_t quarter = platform::PhysicalMemoryBytes() / 4;
  return static_cast<std::size_t>(quarter == 0 || quarter > kIntMax ? kIntMax : quarter);
}

void LineSource::Attach(platform::NativeFile file, const char* name) {
  Close();
  try {
    if (!m_buffer)
      m_buffer.reset(new char[kBufferSize + kPadding]());  // the padding read, never uninitialised
    m_name = name ? name : "";
  } catch (...) {
    platform::CloseFile(file);  // not ours yet, so nobody else would close it
    throw;
  }
  m_file = file;
  m_bufferStart = 0;
  m_begin = m_end = 0;
}

void LineSource::Close() noexcept {
  platform::CloseFile(m_file);
  m_file = platform::kNoFile;
  m_bufferStart = 0;
  m_begin = m_end = 0;
}

void LineSource::Fail(int cause, std::int32_t osError) const {
  throw CFileException(cause, osError, m_name.c_str());
}

bool LineSource::Fill() {
  if (!IsOpen()) Fail(CFileException::invalidFile, platform::kBadFileError);
  m_bufferStart += m_end;
  m_begin = m_end = 0;
  m_linesEnd = kUnknown;  // the only place where the buffer's content changes
  platform::FileError error;
  const std::ptrdiff_t n = platform::ReadAt(m_file, m_bufferStart, m_buffer.get(), kBufferSize, error);
  if (n < 0) Fail(error);
  m_end = static_cast<std::size_t>(n);
  return n > 0;
}

bool LineSource::ReadLine(CString& line) {
  line.Empty();
  std::size_t length = 0;  // bytes of the line so far
  bool gotBytes = false;
  for (;;) {
    if (m_begin == m_end && !Fill()) break;
    const char* const start = m_buffer.get() + m_begin;
    const std::size_t available = m_end - m_begin;
    const void* const newline = std::memchr(start, '\n', available);
    const std::size_t take =
        newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) : available;
    if (take > m_maxLineLength - length) throw std::bad_alloc();
    line.Append(start, take);
    length += take;
    gotBytes = true;
    if (newline) {
      m_begin += take + 1;
      break;
    }
    // The line runs past the buffer: keep what we have and read on.
    m_begin = m_end;
  }
  if (!gotBytes) return false;
  if (length > 0 && line.GetString()[length - 1] == '\r') line.Truncate(static_cast<int>(length - 1));
  return true;
}

bool LineSource::ReadLine(std::string_view& line, CString& spill) {
  if (m_begin < m_end) {
    const char* const start = m_buffer.get() + m_begin;
    const std::size_t available = m_end - m_begin;
    if (const void* newline = std::memchr(start, '\n', available)) {
      std::size_t length = static_cast<std::size_t>(static_cast<const char*>(newline) - start);
      if (length > m_maxLineLength) throw std::bad_alloc();
      m_begin += length + 1;
      if (length > 0 && start[length - 1] == '\r') --length;
      line = std::string_view(start, length);
      return true;
    }
  }
  // The line runs past the buffer, or the buffer is spent.
  const bool read = ReadLine(spill);
  line = spill.View();
  return read;
}

bool LineSource::SkipLine() {
  bool gotBytes = false;
  for (;;) {
    if (m_begin == m_end && !Fill()) {
      if (gotBytes) m_lastLineEnded = false;
      return gotBytes;
    }
    const char* const start = m_buffer.get() + m_begin;
    const void* const newline = std::memchr(start, '\n', m_end - m_begin);
    gotBytes = true;
    if (newline) {
      m_begin += static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1;
      m_lastLineEnded = true;
      return true;
    }
    m_begin = m_end;
  }
}

std::string_view LineSource::BufferedLines() {
  // Lines shorter than the buffer pass any bound above it; a tighter bound is
  // checked line by line in ReadLine.
  if (m_maxLineLength < kBufferSize) return {};
  if (m_begin == m_end && !Fill()) return {};
  if (m_linesEnd == kUnknown) {
    // Found once per fill, from the end, where it lies a line's length away.
    std::size_t end = m_end;
    while (end > 0 && m_buffer[end - 1] != '\n') --end;
    m_linesEnd = end;
  }
  if (m_begin >= m_linesEnd) return {};
  return std::string_view(m_buffer.get() + m_begin, m_linesEnd - m_begin);
}

void LineSource::Seek(std::uint64_t position) {
  if (!IsOpen()) Fail(CFileException::invalidFile, platform::kBadFileError);
  if (position >= m_bufferStart && position - m_bufferStart <= m_end) {
    m_begin = static_cast<std::size_t>(position - m_bufferStart);
    return;
  }
  // Reads are positional: a seek only says where the next one starts.
  platform::FileError error;
  if (!platform::CheckPosition(position, error)) Fail(error);
  m_bufferStart = position;
  m_begin = m_end = 0;
}

std::uint64_t LineSource::Size() const {
  if (!IsOpen()) Fail(CFileException::invalidFile, platform::kBadFileError);
  platform::FileError error;
  std::uint64_t size = 0;
  if (!platform::FileSize(m_file, size, error)) Fail(error);
  return size;
}

}  // namespace qtx::textio

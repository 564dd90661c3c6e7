// The line source behind CStdioFile: an open file read through one large
// buffer, yielding a line at a time.
#ifndef QTX_TEXTIO_LINESOURCE_H
#define QTX_TEXTIO_LINESOURCE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/Platform.h"
#include "qtx/Framework.h"

namespace qtx::textio {

class LineSource {
 public:
  // Large enough that a file of gigabytes costs few system calls; allocated
  // once per source, never per line.
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;
  // Bytes after the buffered text that may be read, by parsers that look
  // ahead.
  static constexpr std::size_t kPadding = 32;

  LineSource() = default;
  ~LineSource() { Close(); }
  LineSource(const LineSource&) = delete;
  LineSource& operator=(const LineSource&) = delete;

  // Takes over an open file, closing it also when this throws; `name` is
  // used in error messages.
  void Attach(platform::NativeFile file, const char* name);
  void Close() noexcept;
  bool IsOpen() const noexcept { return m_file != platform::kNoFile; }
  // The open file, for a second source on a handle of its own
  // (platform::DuplicateFile): every read is positional, so sources on one
  // file do not move each other.
  platform::NativeFile Native() const noexcept { return m_file; }
  const std::string& Name() const noexcept { return m_name; }

  // Reads the next line without its "\n" and without one "\r" right before
  // it (or at the very end of the file). Returns false at the end of the file,
  // `line` then empty. Throws CFileException when the system read fails, and
  // std::bad_alloc for a line longer than MaxLineLength().
  bool ReadLine(CString& line);

  // The same line as ReadLine, without copying it when it lies whole in the
  // buffer: `line` then points into the buffer, and otherwise into `spill`.
  // Either stays valid until the next call on this source.
  bool ReadLine(std::string_view& line, CString& spill);

  // Passes over the next line as ReadLine would read it, without storing it.
  // Returns false at the end of the file.
  bool SkipLine();
  // Whether the last line SkipLine passed over ended in '\n'; false when it
  // was cut off by the end of the file (a file still being written, or one
  // truncated in the middle of a line).
  bool LastLineEnded() const noexcept { return m_lastLineEnded; }

  // The lines that lie whole in the buffer from the next unread byte on, with
  // their line ends: a run of text that ends in '\n', which a reader may scan
  // for line ends itself, and after which kPadding bytes may be read. Reads
  // from the file when the buffer is spent. Empty at the end of the file and
  // when the next line does not lie whole in the buffer; ReadLine then reads
  // it. Stays valid until the next call that reads or moves.
  std::string_view BufferedLines();
  // Passes over the first `bytes` bytes of what BufferedLines returned.
  void Consume(std::size_t bytes) noexcept { m_begin += bytes; }

  // A file without line ends would otherwise grow one string until the
  // system kills the process; a line may take a quarter of physical memory.
  std::size_t MaxLineLength() const noexcept { return m_maxLineLength; }
  void SetMaxLineLength(std::size_t bytes) noexcept { m_maxLineLength = bytes; }

  std::uint64_t Position() const noexcept { return m_bufferStart + m_begin; }
  // Moves to an absolute position; stays inside the buffer when it can.
  void Seek(std::uint64_t position);
  std::uint64_t Size() const;

 private:
  bool Fill();  // false at the end of the file
  [[noreturn]] void Fail(int cause, std::int32_t osError) const;
  [[noreturn]] void Fail(const platform::FileError& error) const { Fail(error.cause, error.osError); }

  platform::NativeFile m_file = platform::kNoFile;
  std::string m_name;
  std::unique_ptr<char[]> m_buffer;
  std::uint64_t m_bufferStart = 0;  // file position of m_buffer[0]
  std::size_t m_begin = 0;          // next unread byte in the buffer
  std::size_t m_end = 0;            // bytes held in the buffer
  static constexpr std::size_t kUnknown = ~std::size_t{0};
  std::size_t m_linesEnd = kUnknown;  // one past the buffer's last '\n', 0 when none
  std::size_t m_maxLineLength = DefaultMaxLineLength();
  bool m_lastLineEnded = true;

  static std::size_t DefaultMaxLineLength() noexcept;
};

}  // namespace qtx::textio

#endif  // QTX_TEXTIO_LINESOURCE_H

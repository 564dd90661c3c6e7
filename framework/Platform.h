// What the library needs from the operating system, in one place: reading a
// file, physical memory, the one memory hint the data reader gives, and the
// local clock. PlatformPosix.cpp and PlatformWindows.cpp implement it; CMake
// compiles the one for the target.
#ifndef QTX_FRAMEWORK_PLATFORM_H
#define QTX_FRAMEWORK_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace qtx::platform {

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

// Why a file operation failed: a CFileException cause and the system's own
// error code (errno on POSIX, GetLastError() on Windows).
struct FileError {
  int cause = 0;
  std::int32_t osError = 0;
};

// System error codes for failures the library finds itself: an argument it
// refuses, and an operation on a file that is not open.
extern const std::int32_t kInvalidArgumentError;
extern const std::int32_t kBadFileError;

// Opens an existing file for reading, in binary (no translation of any
// byte), with 64-bit positions. `share` holds the CFile::share* bits: what
// other openers of the file are denied while it is open. A directory fails
// with cause accessDenied and an error code of its own, apart from a missing
// file (fileNotFound) and a bad path (badPath). Returns kNoFile and fills
// `error` on failure.
NativeFile OpenForReading(const char* path, unsigned share, FileError& error) noexcept;
void CloseFile(NativeFile file) noexcept;

// Reads up to `size` bytes from an absolute position, whatever the file's
// own position: the number read, 0 at or past the end of the file, or -1
// with `error` filled. Threads may read one file at once this way, each
// through a handle of its own from DuplicateFile.
std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t position, char* buffer, std::size_t size,
                      FileError& error) noexcept;
// Checks that an absolute position can be read from, which it may also
// where it lies beyond the end.
bool CheckPosition(std::uint64_t position, FileError& error) noexcept;
// A second handle on the same open file, to be closed on its own; kNoFile
// with `error` filled on failure.
NativeFile DuplicateFile(NativeFile file, FileError& error) noexcept;
bool FileSize(NativeFile file, std::uint64_t& size, FileError& error) noexcept;

// A file's size and the time of its last change, in the system's own ticks
// (nanoseconds on POSIX, 100 ns on Windows): equal stamps of one file say that
// nothing was written to it in between, as far as the system tells.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;
};
bool StampOf(NativeFile file, FileStamp& stamp, FileError& error) noexcept;
bool StampOfPath(const char* path, FileStamp& stamp, FileError& error) noexcept;

// The system's words for an error code, without a final period or line end;
// empty when the system has none.
std::string ErrorText(std::int32_t osError);

// Bytes of physical memory, or 0 when the system does not say.
std::uint64_t PhysicalMemoryBytes() noexcept;

// Asks the system to back [p, p + bytes) with writable memory now, in one
// step and in huge pages where it has them, rather than one page fault at a
// time as the range is first written. For large arrays that are about to be
// filled whole. A hint only: the content stays as it is, and where the
// system cannot do it nothing happens.
void PrefaultForWrite(void* p, std::size_t bytes) noexcept;

// The Date and Time texts of one clock reading: yyyy/MM/dd and HH:mm:ss.
struct LocalTimeTexts {
  std::string date;  // four-digit year, two-digit month and day: 2024/03/05
  std::string time;  // hour 00 to 23, minute and second, two digits each: 09:07:02
};

// Formats a broken-down time as the platform's clock texts are formatted.
// A text the system cannot format stays empty.
LocalTimeTexts FormatLocalTime(const std::tm& reading);

// Reads the local clock once and formats that reading. Both texts are empty
// when the system cannot give the local time.
LocalTimeTexts ReadLocalTime();

}  // namespace qtx::platform

#endif  // QTX_FRAMEWORK_PLATFORM_H

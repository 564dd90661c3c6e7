// The platform layer on Windows: files through CreateFileA and handles, the
// clock through GetLocalTime and the locale's date and time formatting.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <limits>

#include "framework/Platform.h"
#include "qtx/Framework.h"
#include "qtx/StdioFile.h"

namespace qtx::platform {

const std::int32_t kInvalidArgumentError = ERROR_INVALID_PARAMETER;
const std::int32_t kBadFileError = ERROR_INVALID_HANDLE;

namespace {

#ifndef ERROR_DIRECTORY_NOT_SUPPORTED
#define ERROR_DIRECTORY_NOT_SUPPORTED 336L
#endif

int CauseOfWin32Error(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return CFileException::fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_DIRECTORY: return CFileException::badPath;
    case ERROR_TOO_MANY_OPEN_FILES: return CFileException::tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_ACCESS:
    case ERROR_WRITE_PROTECT:
    case ERROR_DIRECTORY_NOT_SUPPORTED: return CFileException::accessDenied;
    case ERROR_INVALID_HANDLE: return CFileException::invalidFile;
    case ERROR_SHARING_VIOLATION: return CFileException::sharingViolation;
    case ERROR_LOCK_VIOLATION: return CFileException::lockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return CFileException::diskFull;
    case ERROR_SEEK:
    case ERROR_NEGATIVE_SEEK: return CFileException::badSeek;
    case ERROR_HANDLE_EOF: return CFileException::endOfFile;
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE: return CFileException::hardIO;
    default: return CFileException::genericException;
  }
}

FileError ErrorOf(DWORD error) {
  return {CauseOfWin32Error(error), static_cast<std::int32_t>(error)};
}

// What other openers may do while the file is open, as the framework maps
// its sharing flags: compatibility mode is exclusive.
DWORD ShareModeFor(unsigned share) {
  switch (share & 0x0070u) {
    case CFile::shareDenyWrite: return FILE_SHARE_READ;
    case CFile::shareDenyRead: return FILE_SHARE_WRITE;
    case CFile::shareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    case CFile::shareCompat:
    case CFile::shareExclusive: return 0;
    default: return FILE_SHARE_READ | FILE_SHARE_WRITE;  // no sharing flag the framework knows
  }
}

HANDLE Handle(NativeFile file) {
  return reinterpret_cast<HANDLE>(file);
}

}  // namespace

NativeFile OpenForReading(const char* path, unsigned share, FileError& error) noexcept {
  // A handle is binary by nature: no byte is translated and no Ctrl-Z ends
  // the file. It is not inherited by child processes.
  const HANDLE handle = ::CreateFileA(path, GENERIC_READ, ShareModeFor(share), nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD code = ::GetLastError();
    // A directory is refused as access denied; say what it is.
    if (code == ERROR_ACCESS_DENIED) {
      const DWORD attributes = ::GetFileAttributesA(path);
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        code = ERROR_DIRECTORY_NOT_SUPPORTED;
    }
    error = ErrorOf(code);
    return kNoFile;
  }
  return reinterpret_cast<NativeFile>(handle);
}

void CloseFile(NativeFile file) noexcept {
  if (file != kNoFile) ::CloseHandle(Handle(file));
}

std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t position, char* buffer, std::size_t size,
                      FileError& error) noexcept {
  if (!CheckPosition(position, error)) return -1;
  const DWORD request = size > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(size);
  // On a handle opened for synchronous reads the offset in OVERLAPPED makes
  // the read positional; the call still waits for it.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(position & 0xffffffffu);
  at.OffsetHigh = static_cast<DWORD>(position >> 32);
  DWORD read = 0;
  if (!::ReadFile(Handle(file), buffer, request, &read, &at)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return 0;
    error = {code == ERROR_LOCK_VIOLATION ? CFileException::lockViolation : CFileException::hardIO,
             static_cast<std::int32_t>(code)};
    return -1;
  }
  return static_cast<std::ptrdiff_t>(read);
}

bool CheckPosition(std::uint64_t position, FileError& error) noexcept {
  if (position <= static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())) return true;
  error = {CFileException::badSeek, ERROR_NEGATIVE_SEEK};
  return false;
}

NativeFile DuplicateFile(NativeFile file, FileError& error) noexcept {
  HANDLE copy = nullptr;
  const HANDLE process = ::GetCurrentProcess();
  if (!::DuplicateHandle(process, Handle(file), process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    error = {CFileException::genericException, static_cast<std::int32_t>(::GetLastError())};
    return kNoFile;
  }
  return reinterpret_cast<NativeFile>(copy);
}

bool FileSize(NativeFile file, std::uint64_t& size, FileError& error) noexcept {
  LARGE_INTEGER bytes;
  if (!::GetFileSizeEx(Handle(file), &bytes)) {
    error = {CFileException::hardIO, static_cast<std::int32_t>(::GetLastError())};
    return false;
  }
  size = static_cast<std::uint64_t>(bytes.QuadPart);
  return true;
}

bool StampOf(NativeFile file, FileStamp& stamp, FileError& error) noexcept {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(Handle(file), &info)) {
    error = {CFileException::hardIO, static_cast<std::int32_t>(::GetLastError())};
    return false;
  }
  stamp.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                             info.ftLastWriteTime.dwLowDateTime);
  return true;
}

bool StampOfPath(const char* path, FileStamp& stamp, FileError& error) noexcept {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
    const DWORD code = ::GetLastError();
    error = {code == ERROR_FILE_NOT_FOUND ? CFileException::fileNotFound : CFileException::hardIO,
             static_cast<std::int32_t>(code)};
    return false;
  }
  stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                             data.ftLastWriteTime.dwLowDateTime);
  return true;
}

std::string ErrorText(std::int32_t osError) {
  char buffer[512];
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr,
      static_cast<DWORD>(osError), 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  // One line like the other platforms' texts: no trailing blank or period.
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' || text.back() == '.'))
    text.pop_back();
  return text;
}

std::uint64_t PhysicalMemoryBytes() noexcept {
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return 0;
  return status.ullTotalPhys;
}

// Windows backs fresh allocations page by page as they are first written,
// and offers no cheaper way for memory that is about to be filled whole.
void PrefaultForWrite(void*, std::size_t) noexcept {}

namespace {

LocalTimeTexts FormatSystemTime(const SYSTEMTIME& reading) {
  // The user's locale with the pictures fixed: only digits and the literal
  // separators come out, whatever the locale.
  char buffer[100] = {};
  LocalTimeTexts texts;
  if (::GetDateFormatA(LOCALE_USER_DEFAULT, 0, &reading, "yyyy'/'MM'/'dd", buffer, sizeof buffer) > 0)
    texts.date = buffer;
  if (::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &reading, "HH':'mm':'ss", buffer, sizeof buffer) > 0)
    texts.time = buffer;
  return texts;
}

WORD Field(long long value) {
  return value < 0 || value > 0xFFFF ? WORD{0xFFFF} : static_cast<WORD>(value);
}

}  // namespace

LocalTimeTexts FormatLocalTime(const std::tm& reading) {
  SYSTEMTIME time{};
  time.wYear = Field(static_cast<long long>(reading.tm_year) + 1900);
  time.wMonth = Field(reading.tm_mon + 1);
  time.wDayOfWeek = Field(reading.tm_wday);
  time.wDay = Field(reading.tm_mday);
  time.wHour = Field(reading.tm_hour);
  time.wMinute = Field(reading.tm_min);
  time.wSecond = Field(reading.tm_sec);
  return FormatSystemTime(time);
}

LocalTimeTexts ReadLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return FormatSystemTime(now);
}

}  // namespace qtx::platform

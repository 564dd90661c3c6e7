// The platform layer on POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>

#include "framework/Platform.h"
#include "qtx/Framework.h"
#include "qtx/StdioFile.h"

namespace qtx::platform {

const std::int32_t kInvalidArgumentError = EINVAL;
const std::int32_t kBadFileError = EBADF;

namespace {

int CauseOfErrno(int error) {
  switch (error) {
    case ENOENT: return CFileException::fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return CFileException::badPath;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return CFileException::accessDenied;
    case EMFILE:
    case ENFILE: return CFileException::tooManyOpenFiles;
    default: return CFileException::genericException;
  }
}

FileError ErrorOf(int cause, int osError) {
  return {cause, static_cast<std::int32_t>(osError)};
}

// The advisory lock that stands in for the framework's sharing modes.
int LockFor(unsigned share) {
  switch (share & 0x0070u) {
    case CFile::shareDenyWrite: return LOCK_SH;
    case CFile::shareDenyRead:
    case CFile::shareExclusive: return LOCK_EX;
    default: return 0;
  }
}

}  // namespace

NativeFile OpenForReading(const char* path, unsigned share, FileError& error) noexcept {
  int flags = O_RDONLY | O_CLOEXEC;
#ifdef O_LARGEFILE
  flags |= O_LARGEFILE;
#endif
  int fd;
  do {
    fd = ::open(path, flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = ErrorOf(CauseOfErrno(errno), errno);
    return kNoFile;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int code = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    error = ErrorOf(CauseOfErrno(code), code);
    return kNoFile;
  }
  if (const int lock = LockFor(share)) {
    if (::flock(fd, lock | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      ::close(fd);
      error = ErrorOf(CFileException::sharingViolation, EWOULDBLOCK);
      return kNoFile;
    }
    // Any other failure (a file system without locks) leaves the file
    // unlocked: the lock is advisory on this platform anyway.
  }
  return fd;
}

void CloseFile(NativeFile file) noexcept {
  if (file != kNoFile) ::close(static_cast<int>(file));
}

std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t position, char* buffer, std::size_t size,
                      FileError& error) noexcept {
  if (!CheckPosition(position, error)) return -1;
  for (;;) {
    ssize_t n = ::pread(static_cast<int>(file), buffer, size, static_cast<off_t>(position));
    // A pipe or a terminal has no positions: it is read as it comes, as a
    // reader of it can only read it once, from its start.
    if (n < 0 && errno == ESPIPE) n = ::read(static_cast<int>(file), buffer, size);
    if (n >= 0) return n;
    if (errno != EINTR) {
      error = ErrorOf(CFileException::hardIO, errno);
      return -1;
    }
  }
}

bool CheckPosition(std::uint64_t position, FileError& error) noexcept {
  if (position <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return true;
  error = ErrorOf(CFileException::badSeek, EINVAL);
  return false;
}

NativeFile DuplicateFile(NativeFile file, FileError& error) noexcept {
  const int copy = ::fcntl(static_cast<int>(file), F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    const bool tooMany = errno == EMFILE || errno == ENFILE;
    error = ErrorOf(tooMany ? CFileException::tooManyOpenFiles : CFileException::genericException, errno);
    return kNoFile;
  }
  return copy;
}

bool FileSize(NativeFile file, std::uint64_t& size, FileError& error) noexcept {
  struct stat st {};
  if (::fstat(static_cast<int>(file), &st) != 0) {
    error = ErrorOf(CFileException::hardIO, errno);
    return false;
  }
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

namespace {
FileStamp StampOfStat(const struct stat& st) noexcept {
  FileStamp stamp;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
#if defined(__APPLE__)
  stamp.modified = static_cast<std::int64_t>(st.st_mtimespec.tv_sec) * 1000000000 + st.st_mtimespec.tv_nsec;
#else
  stamp.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
  return stamp;
}
}  // namespace

bool StampOf(NativeFile file, FileStamp& stamp, FileError& error) noexcept {
  struct stat st {};
  if (::fstat(static_cast<int>(file), &st) != 0) {
    error = ErrorOf(CFileException::hardIO, errno);
    return false;
  }
  stamp = StampOfStat(st);
  return true;
}

bool StampOfPath(const char* path, FileStamp& stamp, FileError& error) noexcept {
  struct stat st {};
  if (::stat(path, &st) != 0) {
    error = ErrorOf(errno == ENOENT ? CFileException::fileNotFound : CFileException::hardIO, errno);
    return false;
  }
  stamp = StampOfStat(st);
  return true;
}

std::string ErrorText(std::int32_t osError) {
  return osError > 0 ? std::strerror(osError) : "";
}

std::uint64_t PhysicalMemoryBytes() noexcept {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

void PrefaultForWrite(void* p, std::size_t bytes) noexcept {
#if defined(__linux__)
  constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE (Linux 5.14), which older headers do not name
  static const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pageSize <= 0) return;
  // The kernel takes whole pages only: those that lie inside the range.
  const std::uintptr_t page = static_cast<std::uintptr_t>(pageSize);
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = (begin + page - 1) / page * page;
  const std::uintptr_t last = (begin + bytes) / page * page;
  if (last <= first) return;
  void* const start = reinterpret_cast<void*>(first);
  // Huge pages where the system allows them (the 2 MiB blocks inside the
  // range): one fault and one clearing per block instead of 512, which more
  // than halves the cost of fresh memory. Then every page at once. A kernel
  // that knows neither advice refuses it (EINVAL), and the pages fault in as
  // they are first written, as they would have anyway.
  ::madvise(start, last - first, MADV_HUGEPAGE);
  ::madvise(start, last - first, kPopulateWrite);
#else
  (void)p;
  (void)bytes;
#endif
}

LocalTimeTexts FormatLocalTime(const std::tm& reading) {
  // Wide enough for any int in every field, so nothing is ever cut.
  char buffer[64];
  LocalTimeTexts texts;
  std::snprintf(buffer, sizeof buffer, "%04lld/%02d/%02d", static_cast<long long>(reading.tm_year) + 1900,
                reading.tm_mon + 1, reading.tm_mday);
  texts.date = buffer;
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", reading.tm_hour, reading.tm_min, reading.tm_sec);
  texts.time = buffer;
  return texts;
}

LocalTimeTexts ReadLocalTime() {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) return {};
  std::tm local{};
  // localtime_r need not look at TZ by itself (POSIX); tzset makes it.
  ::tzset();
  if (::localtime_r(&now, &local) == nullptr) return {};
  return FormatLocalTime(local);
}

}  // namespace qtx::platform

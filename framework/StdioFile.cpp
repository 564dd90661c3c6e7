#include "qtx/StdioFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "framework/StdioFileAccess.h"

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

void Report(CFileException* pError, int cause, int osError, const char* name) {
  if (!pError) return;
  pError->m_cause = cause;
  pError->m_lOsError = static_cast<std::int32_t>(osError);
  pError->m_strFileName = name ? name : "";
}

// The advisory lock that stands in for the framework's sharing modes.
int LockFor(unsigned nOpenFlags) {
  switch (nOpenFlags & 0x0070u) {
    case CFile::shareDenyWrite: return LOCK_SH;
    case CFile::shareDenyRead:
    case CFile::shareExclusive: return LOCK_EX;
    default: return 0;
  }
}

}  // namespace

CStdioFile::CStdioFile() : m_pImpl(new Impl) {}

CStdioFile::~CStdioFile() { Close(); }

bool CStdioFile::Open(const char* lpszFileName, unsigned nOpenFlags, CFileException* pError) {
  Close();
  if (!lpszFileName) {
    Report(pError, CFileException::badPath, EINVAL, lpszFileName);
    return false;
  }
  if ((nOpenFlags & 0x0003u) != modeRead) {  // this text file reads only; no OS call failed
    Report(pError, CFileException::accessDenied, -1, lpszFileName);
    return false;
  }
  int flags = O_RDONLY | O_CLOEXEC;
#ifdef O_LARGEFILE
  flags |= O_LARGEFILE;
#endif
  int fd;
  do {
    fd = ::open(lpszFileName, flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Report(pError, CauseOfErrno(errno), errno, lpszFileName);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    Report(pError, CauseOfErrno(error), error, lpszFileName);
    return false;
  }
  if (const int lock = LockFor(nOpenFlags)) {
    if (::flock(fd, lock | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      ::close(fd);
      Report(pError, CFileException::sharingViolation, EWOULDBLOCK, lpszFileName);
      return false;
    }
    // Any other failure (a file system without locks) leaves the file unlocked:
    // the lock is advisory on this platform anyway.
  }
  m_pImpl->source.Attach(fd, lpszFileName);
  return true;
}

bool CStdioFile::ReadString(CString& rString) {
  if (!m_pImpl->source.IsOpen()) {
    rString.Empty();
    throw CFileException(CFileException::invalidFile, EBADF);
  }
  return m_pImpl->source.ReadLine(rString);
}

std::uint64_t CStdioFile::GetPosition() const { return m_pImpl->source.Position(); }

std::uint64_t CStdioFile::Seek(std::int64_t lOff, unsigned nFrom) {
  auto& source = m_pImpl->source;
  std::uint64_t origin = 0;
  switch (nFrom) {
    case begin: break;
    case current: origin = source.Position(); break;
    case end: origin = source.Size(); break;
    default: throw CFileException(CFileException::badSeek, EINVAL);
  }
  std::uint64_t target;
  if (lOff >= 0) {
    target = origin + static_cast<std::uint64_t>(lOff);
    if (target < origin) throw CFileException(CFileException::badSeek, EINVAL);
  } else {
    const std::uint64_t back = static_cast<std::uint64_t>(-(lOff + 1)) + 1;  // |lOff| without overflow
    if (back > origin) throw CFileException(CFileException::badSeek, EINVAL);
    target = origin - back;
  }
  source.Seek(target);
  return target;
}

void CStdioFile::Close() noexcept { m_pImpl->source.Close(); }

bool CStdioFile::IsOpen() const noexcept { return m_pImpl->source.IsOpen(); }

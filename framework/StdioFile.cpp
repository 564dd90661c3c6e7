#include "qtx/StdioFile.h"

#include "framework/Platform.h"
#include "framework/StdioFileAccess.h"

namespace {

void Report(CFileException* pError, int cause, std::int32_t osError, const char* name) {
  if (!pError) return;
  pError->m_cause = cause;
  pError->m_lOsError = osError;
  pError->m_strFileName = name ? name : "";
}

}  // namespace

CStdioFile::CStdioFile() : m_pImpl(new Impl) {}

CStdioFile::~CStdioFile() {
  Close();
}

bool CStdioFile::Open(const char* lpszFileName, unsigned nOpenFlags, CFileException* pError) {
  using qtx::platform::kInvalidArgumentError;
  Close();
  if (!lpszFileName) {
    Report(pError, CFileException::badPath, kInvalidArgumentError, lpszFileName);
    return false;
  }
  if ((nOpenFlags & 0x0003u) != modeRead) {  // this text file reads only; no OS call failed
    Report(pError, CFileException::accessDenied, -1, lpszFileName);
    return false;
  }
  qtx::platform::FileError error;
  const qtx::platform::NativeFile file =
      qtx::platform::OpenForReading(lpszFileName, nOpenFlags & 0x0070u, error);
  if (file == qtx::platform::kNoFile) {
    Report(pError, error.cause, error.osError, lpszFileName);
    return false;
  }
  m_pImpl->source.Attach(file, lpszFileName);
  return true;
}

bool CStdioFile::ReadString(CString& rString) {
  if (!m_pImpl->source.IsOpen()) {
    rString.Empty();
    throw CFileException(CFileException::invalidFile, qtx::platform::kBadFileError);
  }
  return m_pImpl->source.ReadLine(rString);
}

std::uint64_t CStdioFile::GetPosition() const {
  return m_pImpl->source.Position();
}

std::uint64_t CStdioFile::Seek(std::int64_t lOff, unsigned nFrom) {
  using qtx::platform::kInvalidArgumentError;
  auto& source = m_pImpl->source;
  std::uint64_t origin = 0;
  switch (nFrom) {
    case begin: break;
    case current: origin = source.Position(); break;
    case end: origin = source.Size(); break;
    default: throw CFileException(CFileException::badSeek, kInvalidArgumentError);
  }
  std::uint64_t target;
  if (lOff >= 0) {
    target = origin + static_cast<std::uint64_t>(lOff);
    if (target < origin) throw CFileException(CFileException::badSeek, kInvalidArgumentError);
  } else {
    const std::uint64_t back = static_cast<std::uint64_t>(-(lOff + 1)) + 1;  // |lOff| without overflow
    if (back > origin) throw CFileException(CFileException::badSeek, kInvalidArgumentError);
    target = origin - back;
  }
  source.Seek(target);
  return target;
}

void CStdioFile::Close() noexcept {
  m_pImpl->source.Close();
}

bool CStdioFile::IsOpen() const noexcept {
  return m_pImpl->source.IsOpen();
}

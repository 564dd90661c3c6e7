#include <string>

#include "framework/Platform.h"
#include "qtx/Framework.h"

CInvalidArgException::CInvalidArgException()
    : std::invalid_argument("invalid argument: index outside the list") {}
CInvalidArgException::~CInvalidArgException() = default;

void AfxThrowInvalidArgException() {
  throw CInvalidArgException();
}

CFileException::CFileException(int cause, std::int32_t lOsError, const char* lpszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszFileName ? lpszFileName : "") {}

CFileException::~CFileException() = default;

namespace {

const char* CauseText(int cause) {
  switch (cause) {
    case CFileException::none: return "no error";
    case CFileException::fileNotFound: return "file not found";
    case CFileException::badPath: return "bad path";
    case CFileException::tooManyOpenFiles: return "too many open files";
    case CFileException::accessDenied: return "access denied";
    case CFileException::invalidFile: return "invalid file";
    case CFileException::badSeek: return "bad seek";
    case CFileException::hardIO: return "read error";
    case CFileException::sharingViolation: return "locked by another program";
    case CFileException::endOfFile: return "unexpected end of file";
    default: return "file error";
  }
}

}  // namespace

const char* CFileException::what() const noexcept {
  // Built on demand: the record is filled field by field by Open().
  try {
    m_strWhat.clear();
    if (!m_strFileName.IsEmpty()) {
      m_strWhat += m_strFileName.GetString();
      m_strWhat += ": ";
    }
    // The OS's own words are the most precise; the cause names what was attempted.
    const std::string osText = m_lOsError > 0 ? qtx::platform::ErrorText(m_lOsError) : std::string();
    m_strWhat += osText.empty() ? CauseText(m_cause) : osText.c_str();
    return m_strWhat.c_str();
  } catch (...) {
    return "file error";
  }
}

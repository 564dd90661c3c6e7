// Text file objects: CFile's flag constants and CStdioFile, the line source
// the readers take their lines from.
#ifndef QTX_STDIOFILE_H
#define QTX_STDIOFILE_H

#include <cstdint>
#include <memory>

#include "qtx/Framework.h"
#include "qtx/QTXExport.h"

// Open flags and seek origins, with the framework's values.
class QTXLIB_API CFile : public CObject {
 public:
  enum OpenFlags : unsigned {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeText = 0x4000,
    typeBinary = 0x8000
  };
  enum SeekPosition : unsigned { begin = 0x0, current = 0x1, end = 0x2 };

  ~CFile() override;

 protected:
  CFile() = default;
};

// A text file read line by line through a large buffer of its own.
//
// Open() accepts read access only (modeRead); any write mode fails with
// CFileException::accessDenied. A line ends at "\n"; one "\r" right before it,
// or at the very end of the file, is dropped, so CR LF and LF files read the
// same. typeText and typeBinary read alike.
//
// Sharing on POSIX, which has no mandatory sharing modes: shareDenyWrite,
// shareDenyRead and shareExclusive take an advisory lock on the file
// (flock: shared for deny-write, exclusive for the other two) that lasts
// until Close(); an open whose lock is held the other way by another opener
// fails with CFileException::sharingViolation. Programs that do not take
// advisory locks are not held off.
//
// Sharing on Windows: the flags are the system's share modes, which hold off
// every other opener until Close(): shareDenyWrite lets others read only,
// shareDenyRead write only, shareDenyNone both, shareExclusive and
// shareCompat (no flag) neither. m_lOsError is then a Win32 error code.
//
// Errors of reading or seeking an open file are thrown as CFileException.
class QTXLIB_API CStdioFile : public CFile {
 public:
  CStdioFile();
  ~CStdioFile() override;  // closes a file still open

  // Opens lpszFileName. Returns true on success; on failure returns false and,
  // when pError is given, fills it with the cause, the OS error and the name.
  bool Open(const char* lpszFileName, unsigned nOpenFlags, CFileException* pError = nullptr);

  // Reads the next line, without its line end, into rString and returns true;
  // at the end of the file returns false with rString empty. The string's
  // storage is reused from line to line.
  bool ReadString(CString& rString);

  // Byte offset of the next unread character: after ReadString, the start of
  // the next line.
  std::uint64_t GetPosition() const;

  // Moves to lOff counted from nFrom (begin, current or end) and returns the
  // new position. A position before the start of the file throws badSeek.
  std::uint64_t Seek(std::int64_t lOff, unsigned nFrom);

  // Closes the file; does nothing when none is open.
  void Close() noexcept;

  bool IsOpen() const noexcept;

 private:
  friend struct CStdioFileAccess;  // the library's readers take lines straight from the buffer
  struct Impl;
  std::unique_ptr<Impl> m_pImpl;
};

#endif  // QTX_STDIOFILE_H

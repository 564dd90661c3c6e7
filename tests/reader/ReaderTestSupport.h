// Helpers shared by the reader tests: a file with a given text, opened the way
// the file scan opens it.
#ifndef QTX_TESTS_READER_READERTESTSUPPORT_H
#define QTX_TESTS_READER_READERTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "qtx/QTXLibrary.h"
#include "support/TempFile.h"

namespace qtx::test {

enum class LineEnd { kLf, kCrLf };

inline std::string Convert(std::string_view text, LineEnd lineEnd) {
  return lineEnd == LineEnd::kCrLf ? WithCrLf(text) : std::string(text);
}

inline const char* Name(LineEnd lineEnd) { return lineEnd == LineEnd::kCrLf ? "CRLF" : "LF"; }

// A temporary file holding `text` and a CStdioFile open on it.
class OpenTextFile {
 public:
  explicit OpenTextFile(std::string_view text) : m_temp(text) {
    EXPECT_TRUE(m_file.Open(m_temp.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText));
  }
  CStdioFile* operator->() { return &m_file; }
  CStdioFile* get() { return &m_file; }
  const char* Path() const { return m_temp.c_str(); }

  // The next line the file yields, or "<eof>".
  std::string NextLine() {
    CString line;
    return m_file.ReadString(line) ? std::string(line.View()) : std::string("<eof>");
  }

 private:
  TempFile m_temp;
  CStdioFile m_file;
};

}  // namespace qtx::test

#endif  // QTX_TESTS_READER_READERTESTSUPPORT_H

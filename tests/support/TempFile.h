// Test fixtures as files: a text written to a fresh temporary file that is
// removed again when the object goes out of scope.
#ifndef QTX_TESTS_SUPPORT_TEMPFILE_H
#define QTX_TESTS_SUPPORT_TEMPFILE_H

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qtx::test {

class TempFile {
 public:
  explicit TempFile(std::string_view content) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/qtx-test-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    ::close(fd);
    m_path = pattern;
    std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + m_path);
  }
  ~TempFile() { std::remove(m_path.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& Path() const { return m_path; }
  const char* c_str() const { return m_path.c_str(); }

 private:
  std::string m_path;
};

// The same text with every "\n" turned into "\r\n".
inline std::string WithCrLf(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace qtx::test

#endif  // QTX_TESTS_SUPPORT_TEMPFILE_H

// Test fixtures as files: a text written to a fresh temporary file that is
// removed again when the object goes out of scope.
#ifndef QTX_TESTS_SUPPORT_TEMPFILE_H
#define QTX_TESTS_SUPPORT_TEMPFILE_H

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace qtx::test {

class TempFile {
 public:
  // In the system's temporary folder (TMPDIR on POSIX, the user's Temp
  // folder on Windows), under a random name.
  explicit TempFile(std::string_view content) {
    static std::random_device random;
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    std::filesystem::path path;
    do {
      char name[32];
      std::snprintf(name, sizeof name, "qtx-test-%08x%08x", static_cast<unsigned>(random()),
                    static_cast<unsigned>(random()));
      path = folder / name;
    } while (std::filesystem::exists(path));
    m_path = path.string();
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

// Writes `bytes` at `offset` of an existing file, which grows to hold them
// (sparsely where the file system can). False when the system refuses.
inline bool WriteAt(const std::string& path, std::uint64_t offset, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_BINARY);
  if (fd < 0) return false;
  const auto size = static_cast<unsigned>(bytes.size());
  const bool written = ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset) &&
                       ::write(fd, bytes.data(), size) == static_cast<int>(size);
  return ::close(fd) == 0 && written;
}

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

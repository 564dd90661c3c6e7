// Files the benchmarks read, generated once per run.
#ifndef QTX_BENCH_BENCHSUPPORT_H
#define QTX_BENCH_BENCHSUPPORT_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace qtx::bench {

// A file generated once per benchmark run and removed at exit.
class GeneratedFile {
 public:
  template <class Writer>
  explicit GeneratedFile(Writer write) {
    const char* dir = std::getenv("TMPDIR");
    m_path = std::string(dir && *dir ? dir : "/tmp") + "/qtx-bench-XXXXXX";
    const int fd = ::mkstemp(m_path.data());
    if (fd < 0) std::abort();
    ::close(fd);
    std::ofstream out(m_path, std::ios::binary);
    m_bytes = write(out);
  }
  ~GeneratedFile() { std::remove(m_path.c_str()); }
  const char* Path() const { return m_path.c_str(); }
  std::int64_t Bytes() const { return m_bytes; }

 private:
  std::string m_path;
  std::int64_t m_bytes = 0;
};

}  // namespace qtx::bench

#endif  // QTX_BENCH_BENCHSUPPORT_H

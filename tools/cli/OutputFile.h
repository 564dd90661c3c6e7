// Where the qtx commands write: stdout, or a file that a failed command never
// destroys. Every write is checked; the first failure becomes a Failure that
// names the destination and the reason. The calls that differ between
// systems (creating the temporary file, syncing it) live in OutputFile.cpp
// and nowhere else.
#ifndef QTX_TOOLS_CLI_OUTPUTFILE_H
#define QTX_TOOLS_CLI_OUTPUTFILE_H

#include <cstdio>
#include <fstream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

namespace qtx::tool {

// Writes `text` to stdout; throws Failure "cannot write stdout: REASON" when
// the write fails. Every command writes its results through this.
void WriteStdout(std::string_view text);

// printf onto stdout, through WriteStdout.
#if defined(__MINGW32__)
__attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void PrintStdout(const char* format, ...);

// Flushes stdout and throws like WriteStdout when that fails.
void FlushStdout();

// Whether stderr is a terminal, where a line of progress may be shown.
bool StderrIsTerminal();

// Whether the two paths name the same existing file (symbolic links followed).
bool SameFile(const std::string& a, const std::string& b);

// The output of a command, chosen by its path:
// - "-" is stdout;
// - a regular file, a symbolic link to one, or a path where nothing is yet:
//   the output goes to a new temporary file in the target's folder, which
//   Commit() syncs and renames over the target (a link stays a link and its
//   target gets the new content). Until then the target is untouched, and a
//   command that fails removes its temporary file and nothing else, as
//   SIGINT, SIGTERM and SIGHUP do before the command ends by the signal;
// - anything else (a device, a FIFO, a terminal) is written directly, and a
//   failure removes nothing.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Throws Failure "cannot write PATH: REASON" when the write fails, or when
  // one through Stream() failed before.
  void Write(std::string_view text);

  // The library's header writer takes an std::ofstream; this one writes
  // through Write()'s checks. A failure there shows in Write() and Commit().
  std::ofstream& Stream() { return m_stream; }

  // Completes the output: flush, sync and rename for a temporary file, a
  // flush otherwise. Throws Failure as Write() does.
  void Commit();

  // The temporary file, for a library that writes a file by its name (HDF5,
  // matio) before Commit(); empty where the output goes to stdout or a
  // device, which such a library cannot write.
  const std::string& TemporaryPath() const { return m_temporary; }

 private:
  // The stream buffer behind Stream(): hands every character on to the file.
  class Buffer : public std::streambuf {
   public:
    explicit Buffer(OutputFile& file) : m_file(file) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

   private:
    OutputFile& m_file;
  };

  bool TryWrite(std::string_view text);
  [[noreturn]] void Fail(const std::string& reason) const;
  void Close();
  void Unregister();  // the temporary file is no longer one for an interrupt to remove

  std::string m_path;           // as the user gave it, for messages
  std::string m_target;         // the file the temporary one replaces; empty when written directly
  std::string m_temporary;      // the temporary file while it exists
  int m_slot = -1;              // its place among those an interrupt removes, -1 for none
  std::FILE* m_file = nullptr;  // stdout, the temporary file or the direct target
  int m_error = 0;              // the first failure's errno, 0 before one
  Buffer m_buffer{*this};
  std::ofstream m_stream;
};

}  // namespace qtx::tool

#endif  // QTX_TOOLS_CLI_OUTPUTFILE_H

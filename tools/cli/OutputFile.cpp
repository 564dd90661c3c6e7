#include "cli/OutputFile.h"

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <csignal>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "cli/Tool.h"

namespace fs = std::filesystem;

namespace qtx::tool {
namespace {

// The temporary files that an interrupt (SIGINT, SIGTERM, SIGHUP; on
// Windows Ctrl+C, Ctrl+Break and closing the console) removes before the
// command ends. Fixed slots, so that the handler calls nothing but unlink.
constexpr int kSlots = 4;
constexpr std::size_t kPathBytes = 4096;
struct TemporarySlot {
  volatile std::sig_atomic_t used;
  char path[kPathBytes];
};
TemporarySlot g_temporaries[kSlots];

void RemoveTemporaries() {
  for (TemporarySlot& slot : g_temporaries) {
#ifdef _WIN32
    if (slot.used) ::DeleteFileA(slot.path);
#else
    if (slot.used) ::unlink(slot.path);
#endif
  }
}

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD) {
  RemoveTemporaries();
  return FALSE;  // on to the default handler, which ends the process
}
#else
void OnSignal(int signal) {
  RemoveTemporaries();
  // The action is the default again (SA_RESETHAND): the command ends by the
  // signal, as it would have without the handler (130, 143 in a shell).
  ::raise(signal);
}
#endif

void InstallInterruptHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
#ifdef _WIN32
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  action.sa_flags = SA_RESETHAND;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal ignored from the start (nohup, a background job) stays ignored.
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) ::sigaction(signal, &action, nullptr);
  }
#endif
}

// Holds SIGINT, SIGTERM and SIGHUP back while it lives, so that none comes
// between creating a temporary file and noting it for the handler.
class InterruptsHeld {
 public:
  InterruptsHeld() {
#ifndef _WIN32
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
    ::sigprocmask(SIG_BLOCK, &held, &m_before);
#endif
  }
  ~InterruptsHeld() {
#ifndef _WIN32
    ::sigprocmask(SIG_SETMASK, &m_before, nullptr);
#endif
  }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
#ifndef _WIN32
  sigset_t m_before;
#endif
};

// A slot holding `path`, or -1 when all are taken or the path is too long
// (then an interrupt leaves that file, as before).
int RegisterTemporary(const std::string& path) {
  InstallInterruptHandlers();
  if (path.size() >= kPathBytes) return -1;
  for (int i = 0; i < kSlots; ++i) {
    if (g_temporaries[i].used) continue;
    std::memcpy(g_temporaries[i].path, path.c_str(), path.size() + 1);
    g_temporaries[i].used = 1;
    return i;
  }
  return -1;
}

std::string Reason(int error) {
  return std::strerror(error != 0 ? error : EIO);
}

// The open file as a stdio stream; `create` makes a new file that must not
// exist yet, with the permissions new files get. Neither truncates.
std::FILE* OpenForWriting(const std::string& path, bool create, int& error) {
#ifdef _WIN32
  const int flags = _O_WRONLY | _O_BINARY | (create ? _O_CREAT | _O_EXCL : 0);
  const int fd = ::_open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
#else
  const int flags = O_WRONLY | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
#endif
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
#ifdef _WIN32
  std::FILE* file = ::_fdopen(fd, "wb");
#else
  std::FILE* file = ::fdopen(fd, "wb");
#endif
  if (!file) {
    error = errno;
#ifdef _WIN32
    ::_close(fd);
#else
    ::close(fd);
#endif
  }
  return file;
}

// Writes what the system holds of the file through to its disk.
bool Sync(std::FILE* file) {
#ifdef _WIN32
  return ::_commit(::_fileno(file)) == 0;
#else
  int result;
  do {
    result = ::fsync(::fileno(file));
  } while (result != 0 && errno == EINTR);
  return result == 0 || errno == EINVAL;  // EINVAL: a file system that does not sync
#endif
}

// The path a write lands on: symbolic links followed to their end, so that a
// link is never replaced by a file.
fs::path Resolved(fs::path path) {
  std::error_code error;
  for (int i = 0; i < 40 && fs::is_symlink(fs::symlink_status(path, error)); ++i) {
    const fs::path link = fs::read_symlink(path, error);
    if (error) break;
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  return path;
}

}  // namespace

void WriteStdout(std::string_view text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
    throw Failure("cannot write stdout: " + Reason(errno));
}

void PrintStdout(const char* format, ...) {
  char small[256];
  std::va_list arguments;
  va_start(arguments, format);
  std::va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(small, sizeof small, format, arguments);
  va_end(arguments);
  if (length < 0) {
    va_end(again);
    throw Failure("cannot format the output");
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    va_end(again);
    WriteStdout(std::string_view(small, static_cast<std::size_t>(length)));
    return;
  }
  std::string large(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(large.data(), large.size(), format, again);
  va_end(again);
  large.pop_back();
  WriteStdout(large);
}

void FlushStdout() {
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) throw Failure("cannot write stdout: " + Reason(errno));
}

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

OutputFile::OutputFile(const std::string& path) : m_path(path) {
  static_cast<std::ostream&>(m_stream).rdbuf(&m_buffer);
  if (path == "-") {
    m_file = stdout;
    return;
  }
  const fs::path target = Resolved(path);
  std::error_code statusError;
  const fs::file_status status = fs::status(target, statusError);
  int error = 0;
  if (status.type() != fs::file_type::regular && status.type() != fs::file_type::not_found &&
      status.type() != fs::file_type::none) {
    // A device, a FIFO or a terminal: there is nothing to replace.
    m_file = OpenForWriting(path, false, error);
    if (!m_file) Fail(Reason(error));
    return;
  }
  // A name that no other file in the folder has: hidden, after the target.
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  auto seed = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100 && !m_file;
       ++attempt, seed = seed * 6364136223846793005ULL + 1442695040888963407ULL) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08llx.tmp", (seed >> 24) & 0xffffffffULL);
    const std::string candidate = (folder / ("." + target.filename().string() + suffix)).string();
    const InterruptsHeld held;
    m_file = OpenForWriting(candidate, true, error);
    if (m_file) {
      m_temporary = candidate;
      m_slot = RegisterTemporary(candidate);
    }
    if (!m_file && error != EEXIST) break;
  }
  if (!m_file) Fail(Reason(error));
  m_target = target.string();
  // The replacement keeps the permissions of the file it replaces.
  if (status.type() == fs::file_type::regular) {
    std::error_code ignored;
    fs::permissions(m_temporary, status.permissions(), ignored);
  }
}

OutputFile::~OutputFile() {
  Close();
  if (!m_temporary.empty()) std::remove(m_temporary.c_str());
  Unregister();
}

void OutputFile::Unregister() {
  // After the file is gone or renamed: a signal in between unlinks a name
  // that no longer exists.
  if (m_slot >= 0) g_temporaries[m_slot].used = 0;
  m_slot = -1;
}

void OutputFile::Write(std::string_view text) {
  if (!TryWrite(text)) Fail(Reason(m_error));
}

void OutputFile::Commit() {
  if (m_error != 0) Fail(Reason(m_error));
  if (m_file == stdout) {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) Fail(Reason(errno));
    return;
  }
  errno = 0;
  bool written = std::fflush(m_file) == 0 && !std::ferror(m_file) && (m_temporary.empty() || Sync(m_file));
  int error = errno;
  const bool closed = std::fclose(m_file) == 0;
  if (written && !closed) error = errno;
  m_file = nullptr;
  if (!written || !closed) Fail(Reason(error));
  if (m_temporary.empty()) return;
  std::error_code renameError;
  fs::rename(m_temporary, m_target, renameError);
  if (renameError) Fail(renameError.message());
  m_temporary.clear();
  Unregister();
}

bool OutputFile::TryWrite(std::string_view text) {
  if (m_error != 0) return false;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), m_file) == text.size()) return true;
  m_error = errno != 0 ? errno : EIO;
  return false;
}

void OutputFile::Fail(const std::string& reason) const {
  throw Failure("cannot write " + (m_path == "-" ? std::string("stdout") : m_path) + ": " + reason);
}

void OutputFile::Close() {
  if (m_file && m_file != stdout) std::fclose(m_file);
  m_file = nullptr;
}

std::streambuf::int_type OutputFile::Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char character = traits_type::to_char_type(c);
  return m_file.TryWrite(std::string_view(&character, 1)) ? c : traits_type::eof();
}

std::streamsize OutputFile::Buffer::xsputn(const char* text, std::streamsize count) {
  return m_file.TryWrite(std::string_view(text, static_cast<std::size_t>(count))) ? count : 0;
}

}  // namespace qtx::tool

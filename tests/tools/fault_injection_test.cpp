// The qtx binary under real faults (POSIX only): a file size limit with
// SIGXFSZ ignored, a full device, a closed stdout, a FIFO, a pipe and a
// device node. A failed command says why in one line and exits 2, every entry
// of its folder is there afterwards as it was, and nothing of its own stays.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each entry of the folder: a file's hash, a link's target, a node's type.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const fs::file_status status = entry.symlink_status();
    entries[entry.path().filename().string()] =
        fs::is_symlink(status)        ? "link to " + fs::read_symlink(entry.path()).string()
        : fs::is_regular_file(status) ? std::to_string(std::hash<std::string>()(Read(entry.path())))
                                      : "type " + std::to_string(static_cast<int>(status.type()));
  }
  return entries;
}

TEST(ToolFaults, AFailedCommandLosesNothing) {
  const struct {
    const char* command;  // run by sh in the folder; $Q is qtx
    int exitCode;
    const char* error;     // stderr, one line
    const char* replaced;  // the entry a successful command gives new content
  } cases[] = {
      {"(trap '' XFSZ; ulimit -f 20; $Q plot big.qtx -o old.svg)", 2, "cannot write old.svg: File too large",
       ""},
      {"(trap '' XFSZ; ulimit -f 20; $Q convert big.csv old.qtx)", 2, "cannot write old.qtx: File too large",
       ""},
      {"(trap '' XFSZ; ulimit -f 20; $Q plot big.qtx -o link.svg)", 2,
       "cannot write link.svg: File too large", ""},
      {"$Q plot big.qtx -o link.svg", 0, "", "old.svg"},
      {"$Q plot big.qtx -o full", 2, "cannot write full: No space left on device",
       ""},  // a node made by root
      {"$Q convert big.csv full", 2, "cannot write full: No space left on device", ""},
      {"$Q dump big.qtx >/dev/full", 2, "cannot write stdout: No space left on device", ""},
      {"$Q dump big.qtx >&-", 2, "cannot write stdout: Bad file descriptor", ""},
      {"$Q dump big.qtx | head -n 1 >/dev/null", 0, "", ""},
      {"$Q info fifo", 2, "fifo is not a regular file; qtx reads files it can seek in", ""},
      {"cat big.qtx | $Q validate /dev/stdin", 2,
       "/dev/stdin is not a regular file; qtx reads files it can seek in", ""},
      {"$Q info /dev/zero", 2, "/dev/zero is not a regular file; qtx reads files it can seek in", ""},
      {"(trap '' XFSZ; ulimit -f 20; $Q cut big.qtx -o old.qtx --rows 1:6000 --channels b)", 2,
       "cannot write old.qtx: File too large", ""},
      {"(trap '' XFSZ; ulimit -f 20; $Q merge big.qtx big.qtx -o old.qtx --join --allow-decreasing)", 2,
       "cannot write old.qtx: File too large", ""},
      {"$Q cut big.qtx -o full --rows 0:6000", 2, "cannot write full: No space left on device", ""},
#if QTX_TOOL_HAS_EXPORT
      {"(trap '' XFSZ; ulimit -f 20; $Q export big.qtx old.h5)", 2, "cannot write old.h5: File too large", ""},
      {"(trap '' XFSZ; ulimit -f 20; $Q export big.qtx old.mat)", 2, "cannot write old.mat: File too large", ""},
      {"(trap '' XFSZ; ulimit -f 20; $Q export big.qtx old.mat --mat-version 5)", 2,
       "cannot write old.mat: the MAT file was not written completely (a full disk or a size limit)", ""},
#endif
  };
  // Enough rows that every output passes the size limit and stdout's buffers.
  std::string qtx =
                  "X_Columns\tOne\n***End_of_Header***\nChannels\t2\nSamples\t6000\t6000\n***End_of_Header***"
                  "\nt\ta\tb\n",
              csv = "t,a,b\n";
  for (int r = 0; r < 6000; ++r) {
    const std::string a = std::to_string(r * 7919 % 1000), b = std::to_string(r % 7);
    qtx += std::to_string(r) + "\t" + a + "\t" + b + "\n";
    csv += std::to_string(r) + "," + a + "," + b + "\n";
  }
  const bool root = ::geteuid() == 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    if (!root && std::string(c.command).find(" full") != std::string::npos) continue;  // mknod needs root
    std::string pattern = (fs::temp_directory_path() / "qtx-faults-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    const auto write = [&](const char* name, const std::string& text) {
      std::ofstream(folder / name) << text;
    };
    write("big.qtx", qtx);
    write("big.csv", csv);
    write("old.svg", "precious svg\n");
    write("old.qtx", "precious qtx\n");
    write("old.h5", "precious h5\n");
    write("old.mat", "precious mat\n");
    write(".case.sh", std::string("Q=") + QTX_TOOL + "\n" + c.command + "\n");
    fs::create_symlink("old.svg", folder / "link.svg");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    ASSERT_TRUE(!root || ::mknod((folder / "full").c_str(), S_IFCHR | 0600, ::makedev(1, 7)) == 0);
    const std::map<std::string, std::string> before = Snapshot(folder);

    const int status =
        std::system(("cd '" + folder.string() + "' && timeout 20 sh .case.sh 2>.stderr").c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.exitCode);
    // A coverage build's tool also says that the size limit cut its profile
    // short: that line is the instrumentation's, not the tool's.
    std::string error = Read(folder / ".stderr");
    for (std::size_t at; (at = error.find("LLVM Profile Error")) != std::string::npos;)
      error.erase(at, error.find('\n', at) + 1 - at);
    EXPECT_EQ(error, *c.error ? "qtx: " + std::string(c.error) + "\n" : "");
    fs::remove(folder / ".stderr");
    std::map<std::string, std::string> after = Snapshot(folder);
    if (*c.replaced) {
      EXPECT_NE(after[c.replaced], before.at(c.replaced));
      EXPECT_GT(fs::file_size(folder / c.replaced), 20000u);  // a whole plot
      after[c.replaced] = before.at(c.replaced);
    }
    EXPECT_EQ(after, before);
    fs::remove_all(folder);
  }
}

// SIGINT, SIGTERM and SIGHUP in the middle of a large write: the command
// ends by the signal, its temporary file is gone and the old output stays.
TEST(ToolFaults, AnInterruptRemovesTheTemporaryFile) {
  const struct {
    std::vector<std::string> arguments;
    int signal;
  } cases[] = {
      {{"convert", "big.csv", "old.qtx"}, SIGINT},
      {{"cut", "big.qtx", "-o", "old.qtx", "--rows", "0:"}, SIGTERM},
      {{"merge", "big.qtx", "big.qtx", "-o", "old.qtx", "--join", "--allow-decreasing"}, SIGHUP},
#if QTX_TOOL_HAS_EXPORT
      {{"export", "big.qtx", "old.h5"}, SIGINT},
#endif
  };
  std::string qtx = "X_Columns\tOne\n***End_of_Header***\nChannels\t2\nSamples\t\t1500000\t\t1500000\n"
                    "***End_of_Header***\nt\ta\tb\n",
              csv = "t,a,b\n";
  for (int r = 0; r < 1500000; ++r) {
    const std::string row = std::to_string(r) + "\t" + std::to_string(r % 977) + ".25\t" + std::to_string(r % 7);
    qtx += row + "\n";
    csv += row.substr(0, row.find('\t')) + "," + row.substr(row.find('\t') + 1) + "\n";
  }
  for (char& c : csv) c = c == '\t' ? ',' : c;
  std::string pattern = (fs::temp_directory_path() / "qtx-signals-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path folder = pattern;
  std::ofstream(folder / "big.qtx") << qtx;
  std::ofstream(folder / "big.csv") << csv;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[0]);
    std::ofstream(folder / "old.qtx") << "precious\n";
    std::ofstream(folder / "old.h5") << "precious\n";
    const std::map<std::string, std::string> before = Snapshot(folder);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::vector<char*> argv{const_cast<char*>(QTX_TOOL)};
      for (const std::string& argument : c.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      if (::chdir(folder.c_str()) == 0) ::execv(QTX_TOOL, argv.data());
      ::_exit(127);
    }
    // The temporary file appears once the command writes; then the signal.
    bool seen = false;
    for (int tries = 0; !seen && tries < 20000000; ++tries)
      for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".tmp") seen = true;
    EXPECT_TRUE(seen);
    ::kill(pid, c.signal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
    EXPECT_EQ(Snapshot(folder), before);
  }
  fs::remove_all(folder);
}

}  // namespace

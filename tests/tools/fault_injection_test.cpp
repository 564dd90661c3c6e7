// The qtx binary under real faults (POSIX only): a file size limit with
// SIGXFSZ ignored, a full device, a closed stdout, a FIFO, a pipe and a
// device node. A failed command says why in one line and exits 2, every entry
// of its folder is there afterwards as it was, and nothing of its own stays.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A text as a message can show it: itself when short, else size and hash.
std::string Digest(const std::string& text) {
  if (text.size() < 100) return text;
  return std::to_string(text.size()) + " bytes, hash " + std::to_string(std::hash<std::string>()(text));
}

// Each entry of the folder and what it is: a file's content, a link's
// target, a node's kind.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const fs::file_status status = entry.symlink_status();
    std::string& what = entries[entry.path().filename().string()];
    if (fs::is_symlink(status)) {
      what = "link to " + fs::read_symlink(entry.path()).string();
    } else if (fs::is_regular_file(status)) {
      what = Digest(Read(entry.path()));
    } else {
      what = "node of type " + std::to_string(static_cast<int>(status.type()));
    }
  }
  return entries;
}

TEST(ToolFaults, AFailedCommandLosesNothing) {
  const struct {
    const char* name;
    const char* command;  // run by sh in the folder; $Q is qtx
    int exitCode;
    const char* error;     // stderr, one line
    const char* replaced;  // the entry a successful command gives new content, or ""
    bool node = false;     // needs the device node "full", made by root only
  } cases[] = {
      {"size limit, plot", "(trap '' XFSZ; ulimit -f 20; $Q plot big.qtx -o old.svg)", 2,
       "qtx: cannot write old.svg: File too large", ""},
      {"size limit, convert", "(trap '' XFSZ; ulimit -f 20; $Q convert big.csv old.qtx)", 2,
       "qtx: cannot write old.qtx: File too large", ""},
      {"size limit, through a link", "(trap '' XFSZ; ulimit -f 20; $Q plot big.qtx -o link.svg)", 2,
       "qtx: cannot write link.svg: File too large", ""},
      {"a link's target replaced", "$Q plot big.qtx -o link.svg", 0, "", "old.svg"},
      {"a file replaced", "$Q convert big.csv old.qtx", 0, "", "old.qtx"},
      {"plot onto a full device node", "$Q plot big.qtx -o full", 2,
       "qtx: cannot write full: No space left on device", "", true},
      {"convert onto a full device node", "$Q convert big.csv full", 2,
       "qtx: cannot write full: No space left on device", "", true},
      {"dump into /dev/full", "$Q dump big.qtx >/dev/full", 2,
       "qtx: cannot write stdout: No space left on device", ""},
      {"dump to a closed stdout", "$Q dump big.qtx >&-", 2, "qtx: cannot write stdout: Bad file descriptor",
       ""},
      {"dump into head", "$Q dump big.qtx | head -n 1 >/dev/null", 0, "", ""},
      {"info of a FIFO", "$Q info fifo", 2, "qtx: fifo is not a regular file; qtx reads files it can seek in",
       ""},
      {"validate of a pipe", "cat big.qtx | $Q validate /dev/stdin", 2,
       "qtx: /dev/stdin is not a regular file; qtx reads files it can seek in", ""},
      {"info of a device", "$Q info /dev/zero", 2,
       "qtx: /dev/zero is not a regular file; qtx reads files it can seek in", ""},
  };
  // Enough rows that every output passes the size limit and stdout's buffers.
  std::string qtx =
      "X_Columns\tOne\n***End_of_Header***\nChannels\t2\nSamples\t6000\t6000\n***End_of_Header***\nt\ta\tb\n";
  std::string csv = "t,a,b\n";
  unsigned noise = 1;
  for (int r = 0; r < 6000; ++r) {
    noise = noise * 1103515245u + 12345u;
    const std::string row =
        std::to_string(r) + "\t" + std::to_string(noise % 1000) + "\t" + std::to_string(r % 7);
    qtx += row + "\n";
    csv += std::to_string(r) + "," + std::to_string(noise % 1000) + "," + std::to_string(r % 7) + "\n";
  }
  const bool root = ::geteuid() == 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.node && !root) continue;  // mknod needs root
    std::string pattern = (fs::temp_directory_path() / "qtx-faults-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    Write(folder / "big.qtx", qtx);
    Write(folder / "big.csv", csv);
    Write(folder / "old.svg", "precious svg\n");
    Write(folder / "old.qtx", "precious qtx\n");
    fs::create_symlink("old.svg", folder / "link.svg");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    if (c.node) {
      ASSERT_EQ(::mknod((folder / "full").c_str(), S_IFCHR | 0600, ::makedev(1, 7)), 0);
    }
    Write(folder / ".case.sh", std::string("Q=") + QTX_TOOL + "\n" + c.command + "\n");
    const std::map<std::string, std::string> before = Snapshot(folder);

    const std::string run = "cd '" + folder.string() + "' && timeout 20 sh .case.sh 2>.stderr";
    const int status = std::system(run.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.exitCode);
    EXPECT_EQ(Read(folder / ".stderr"), *c.error ? std::string(c.error) + "\n" : "");
    fs::remove(folder / ".stderr");
    std::map<std::string, std::string> after = Snapshot(folder);
    if (*c.replaced) {
      EXPECT_NE(after[c.replaced], before.at(c.replaced));
      EXPECT_GT(fs::file_size(folder / c.replaced), 20000u);  // a whole plot or QTX file
      after[c.replaced] = before.at(c.replaced);
    }
    EXPECT_EQ(after, before);
    fs::remove_all(folder);
  }
}

}  // namespace

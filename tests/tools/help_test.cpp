// qtx --help and qtx COMMAND --help: every command the overview lists
// explains itself in the same shape, and explains every option its usage
// line names.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "tools/RunQtx.h"

namespace {

using qtx::test::RunQtx;

// The command names of the overview: the indented lines after "commands:".
std::vector<std::string> Commands(const std::string& overview) {
  std::vector<std::string> names;
  std::istringstream in(overview.substr(overview.find("commands:\n") + 10));
  for (std::string line; std::getline(in, line) && line.rfind("  ", 0) == 0;) {
    std::istringstream fields(line);
    std::string name;
    fields >> name;
    names.push_back(name);
  }
  return names;
}

// The options a usage line names: "-o", "--section" and the like.
std::vector<std::string> Options(const std::string& usage) {
  std::vector<std::string> options;
  for (std::size_t i = 1; i < usage.size(); ++i) {
    if (usage[i] != '-' || (usage[i - 1] != ' ' && usage[i - 1] != '[')) continue;
    std::size_t end = i + 1;
    while (end < usage.size() && (std::isalnum(static_cast<unsigned char>(usage[end])) || usage[end] == '-'))
      ++end;
    options.push_back(usage.substr(i, end - i));
    i = end;
  }
  return options;
}

TEST(ToolHelp, EveryCommandExplainsItsOptions) {
  const qtx::test::ToolRun overview = RunQtx("--help");
  ASSERT_EQ(overview.exitCode, 0);
  EXPECT_EQ(RunQtx("-h").out, overview.out);
  const std::vector<std::string> names = Commands(overview.out);
  ASSERT_GE(names.size(), 4u) << overview.out;

  for (const std::string& name : names) {
    const qtx::test::ToolRun help = RunQtx(name + " --help");
    EXPECT_EQ(help.exitCode, 0) << name;
    EXPECT_EQ(RunQtx(name + " -h").out, help.out) << name;
    ASSERT_EQ(help.out.rfind("usage: qtx " + name + " ", 0), 0u) << help.out;
    // The usage line, a blank line, then what the command does.
    const std::size_t usageEnd = help.out.find('\n');
    EXPECT_EQ(help.out.compare(usageEnd, 4, "\n\n  "), 0) << name;
    // Each option opens a line of its own below: "  --section N  ...".
    const std::string explained = help.out.substr(usageEnd);
    for (const std::string& option : Options(help.out.substr(0, usageEnd)))
      EXPECT_NE(explained.find("\n  " + option), std::string::npos) << name << " does not explain " << option;
  }

  // The limits of the numbers stand in the help.
  EXPECT_NE(RunQtx("plot --help").out.find("300 to 20000"), std::string::npos);
  EXPECT_NE(RunQtx("resample --help").out.find("50,000,000 values"), std::string::npos);

  // Help wins over the other arguments, bad ones included.
  EXPECT_EQ(RunQtx("plot --width x --help").exitCode, 0);
  const std::string version = RunQtx("--version").out;
  EXPECT_EQ(version.rfind("qtx ", 0), 0u);
  EXPECT_TRUE(version.size() > 5 && std::isdigit(static_cast<unsigned char>(version[4]))) << version;
}

}  // namespace

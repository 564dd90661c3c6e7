// qtx: command-line access to QTX measurement files.
//
//   qtx info FILE    print the main header settings of FILE
//
// Output is one "key: value" per line in a fixed order, so that a person can
// read it and a script can diff it. Failures print one line on stderr and
// exit non-zero.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "qtx/QTXLibrary.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: qtx info FILE\n"
    "\n"
    "  info FILE   print the main header settings of a QTX file\n";

// Shortest text that reads back as the same double.
std::string FormatDouble(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

const char* ModeName(int nXColumns) {
  switch (nXColumns) {
    case 0: return CQTXGeneral::lpszNo;
    case 1: return CQTXGeneral::lpszOne;
    case 2: return CQTXGeneral::lpszMulti;
    default: return "?";
  }
}

std::string Printable(const CString& text) {
  std::string out;
  for (const char c : text.View()) {
    if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

class Failure : public std::exception {
 public:
  explicit Failure(std::string message) : m_message(std::move(message)) {}
  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  std::string m_message;
};

int Info(const char* path) {
  CStdioFile file;
  CFileException error;
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeText, &error))
    throw Failure(std::string("cannot open ") + error.what());

  CQTXGeneral qtx;
  std::uint32_t nLine = 0;
  if (!qtx.QTX_ReadMainHeader(nLine, &file))
    throw Failure(std::string(path) + ": the file ends before the main header's end line (" +
                  std::to_string(nLine) + " lines read)");

  std::printf("file: %s\n", path);
  std::printf("qtx_file: %s\n", qtx.m_bQTXFile ? "yes" : "no");
  std::printf("writer_version: %s\n", FormatDouble(qtx.m_dWriterVersion).c_str());
  std::printf("reader_version: %s\n", FormatDouble(qtx.m_dReaderVersion).c_str());
  std::printf("separator: %s\n", Printable(qtx.m_strSeparatorName).c_str());
  std::printf("multi_headings: %s\n", qtx.m_bMultiHeadings ? "yes" : "no");
  std::printf("x_columns: %s\n", ModeName(qtx.m_nXColumns));
  std::printf("main_header_lines: %lu\n", static_cast<unsigned long>(nLine));
  return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 3 || std::string(argv[1]) != "info") {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  try {
    return Info(argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qtx: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "qtx: unexpected error\n");
  }
  return kExitFailure;
}

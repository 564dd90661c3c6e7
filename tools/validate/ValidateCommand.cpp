// qtx validate FILE: what the library reads without a word but a person wants
// to know about a file. A bad field reads as 0, a short file just ends, a
// wrong Samples value shifts every later section: the readers accept all of
// it by design, so this command says it, one finding per line as
// "FILE:LINE: message".
//
// The library scans the file first; its sections say where each header, each
// headings line and each block of rows lies as a reader sees them. Then one
// pass over the lines checks each against what its place asks for. The pass
// reuses one line and one field string throughout, so a file of millions of
// rows costs no allocation per row.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/OutputFile.h"
#include "cli/Tool.h"
#include "sections/Sections.h"
#include "validate/Validate.h"

namespace qtx::tool {
namespace {

const char* const kUsage =
    "usage: qtx validate FILE\n"
    "\n"
    "  Lists what a reader accepts silently but a person wants to know: no magic\n"
    "  line, no end of the main header, unknown keywords, keyword values missing\n"
    "  for some channels, unclosed special blocks, a section without Samples,\n"
    "  Samples that disagree with the rows present, short rows, fields that are\n"
    "  not numbers (each of a row), control characters in headings and labels.\n"
    "  One finding per line, \"FILE:LINE: message\", on stdout.\n"
    "\n"
    "  Exit code 0 when the file has no problems, 1 when it has some, 2 when it\n"
    "  cannot be read.\n";

// Kinds of finding. Each kind is shown at most kShown times per part of the
// file (the main header, or one section with its header, headings and rows);
// the rest are counted in one closing line, so that a file with a million
// bad rows still gives a list a person reads.
enum Kind : std::size_t {
  kNoMagic,
  kNoMainHeaderEnd,
  kUnknownKeyword,
  kBadValue,
  kMissingValues,
  kMisplacedKeyword,
  kRepeatedChannels,
  kNoSamples,
  kStop,
  kOpenSpecial,
  kHeaderCut,
  kBadHeadings,
  kNotANumber,
  kNotDecimal,
  kShortRow,
  kRowsCut,
  kRowsTakeHeader,
  kExtraRows,
  kControlCharacter,
  kKindCount
};

// How the closing line names the findings of a kind it does not show: one,
// and more than one.
const char* const kKindNouns[kKindCount][2] = {
    {"line without the magic line", "lines without the magic line"},
    {"unterminated main header", "unterminated main headers"},
    {"line with an unknown keyword", "lines with unknown keywords"},
    {"bad keyword value", "bad keyword values"},
    {"line with values missing", "lines with values missing"},
    {"keyword before Channels", "keywords before Channels"},
    {"repeated Channels line", "repeated Channels lines"},
    {"section without Samples", "sections without Samples"},
    {"section header without Channels", "section headers without Channels"},
    {"unclosed special block", "unclosed special blocks"},
    {"unterminated section header", "unterminated section headers"},
    {"bad headings line", "bad headings lines"},
    {"field that is not a number", "fields that are not numbers"},
    {"number that is not a finite decimal number", "numbers that are not finite decimal numbers"},
    {"row with too few fields", "rows with too few fields"},
    {"section cut short", "sections cut short"},
    {"header line read as a row", "header lines read as rows"},
    {"extra line of numbers", "extra lines of numbers"},
    {"label with control characters", "labels with control characters"},
};

constexpr std::uint64_t kShown = 10;

// Collects the findings of one part and prints them in line order when the
// part ends.
class Report {
 public:
  explicit Report(const std::string& path) : m_path(path) {}

  // Counts a finding of `kind` at `line`; `message()` is called only for the
  // findings that are shown.
  template <class Message>
  void Add(Kind kind, std::uint64_t line, Message&& message) {
    ++m_total;
    const std::uint64_t count = ++m_counts[kind];
    if (count <= kShown) {
      m_kept.push_back({line, kind, message()});
    } else if (count == kShown + 1) {
      m_firstHidden[kind] = line;
    }
  }

  void EndPart() {
    for (std::size_t kind = 0; kind < kKindCount; ++kind) {
      if (m_counts[kind] > kShown)
        m_kept.push_back({m_firstHidden[kind], static_cast<Kind>(kind),
                          "... and " + std::to_string(m_counts[kind] - kShown) + " more " +
                              kKindNouns[kind][m_counts[kind] - kShown == 1 ? 0 : 1]});
      m_counts[kind] = 0;
    }
    std::stable_sort(m_kept.begin(), m_kept.end(), [](const Finding& a, const Finding& b) {
      return a.line != b.line ? a.line < b.line : a.kind < b.kind;
    });
    for (const Finding& finding : m_kept)
      PrintStdout("%s:%llu: %s\n", m_path.c_str(), static_cast<unsigned long long>(finding.line),
                  finding.message.c_str());
    m_kept.clear();
  }

  std::uint64_t Total() const { return m_total; }

 private:
  struct Finding {
    std::uint64_t line;
    Kind kind;
    std::string message;
  };
  const std::string& m_path;
  std::vector<Finding> m_kept;
  std::array<std::uint64_t, kKindCount> m_counts{};
  std::array<std::uint64_t, kKindCount> m_firstHidden{};
  std::uint64_t m_total = 0;
};

bool Is(const CString& text, const char* word) {
  return text.CompareNoCase(word) == 0;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whether the whole field converts as a number, as the readers' atof sees it
// (leading white space, signs, hexadecimal, inf and nan included).
bool IsNumber(const CString& field) {
  const std::string_view text = field.View();
  const char* const last = text.data() + text.size();
  double value = 0.0;
  const auto result = std::from_chars(text.data(), last, value);
  if (result.ec != std::errc::invalid_argument && result.ptr == last) return true;
  // The rare forms from_chars does not take go the slow way.
  const char* const begin = field.GetString();
  char* end = nullptr;
  std::strtod(begin, &end);
  if (end == begin) return false;
  while (end < begin + text.size() && IsSpace(*end)) ++end;
  return end == begin + text.size();
}

// Whether a field that is a number is written as a finite decimal one: an
// optional sign, digits with an optional point, an optional exponent. Not
// nan, inf, hexadecimal or a value beyond the largest double, which the
// readers take but few other programs do.
bool IsFiniteDecimal(const CString& field) {
  std::string_view text = field.View();
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  // from_chars takes no plus sign; "+-1" is no number at all.
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  double value = 0.0;
  const char* const last = text.data() + text.size();
  const auto result = std::from_chars(text.data(), last, value, std::chars_format::general);
  if (result.ptr != last || text.empty()) return false;
  // inf and nan come out as what they are; out of range is also what an
  // underflow to zero gives.
  return result.ec == std::errc() ? std::isfinite(value)
                                  : result.ec == std::errc::result_out_of_range &&
                                        std::isfinite(std::strtod(field.GetString(), nullptr));
}

// What a field that is no number reads as.
std::string ReadsAs(const CString& field) {
  return FormatDouble(std::strtod(field.GetString(), nullptr));
}

// A whole number of rows: digits, an optional plus sign and surrounding white
// space, no more than a 32-bit long holds.
bool IsCount(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  const std::size_t digits = i;
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
  }
  if (i == digits) return false;
  while (i < text.size() && IsSpace(text[i])) ++i;
  return i == text.size();
}

// Whether a label holds a control character (a NUL, an escape, a tab in a
// file of another separator, ...), which few programs keep as text.
bool HasControl(const CString& text) {
  for (const char c : text.View())
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

constexpr const char* kHoldsControl = " holds a control character";

// The end of a finding on a number that IsFiniteDecimal refuses.
std::string NotDecimal(const CString& field) {
  return " is not a finite decimal number; it reads as " + ReadsAs(field);
}

// The rows a reader takes a whole number beyond 0 to 2147483647 for: a
// 32-bit long, saturated, stored in an unsigned 32-bit count. Nothing for
// text that is no whole number.
std::optional<std::uint32_t> OutOfRange(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t digits = i;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    magnitude = std::min<std::int64_t>(magnitude * 10 + (text[i] - '0'), std::int64_t{1} << 31);
  if (i == digits) return std::nullopt;
  while (i < text.size() && IsSpace(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  const std::int64_t value =
      negative ? -magnitude : std::min<std::int64_t>(magnitude, std::numeric_limits<std::int32_t>::max());
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

// A text quoted for a message: visible control characters, long texts cut.
std::string Quote(const CString& text) {
  constexpr std::size_t kLongest = 40;
  if (text.View().size() <= kLongest) return "'" + Printable(text) + "'";
  return "'" + Printable(CString(text.View().substr(0, kLongest))) + "...'";
}

std::string Plural(std::uint64_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// The per-channel keywords of a section header, what their values must be and
// what a channel reads when its value is missing.
enum class ValueType { kCount, kNumber, kText, kIgnored };
struct ChannelKeyword {
  const char* name;
  ValueType type;
  const char* fill;
};
constexpr ChannelKeyword kChannelKeywords[] = {
    {"Samples", ValueType::kCount, "0"},
    {"Delta_X", ValueType::kNumber, "0"},
    {"X0", ValueType::kNumber, "0"},
    {"X_Dimension", ValueType::kText, "'0.0'"},
    {"X_Unit_Label", ValueType::kText, "'0.0'"},
    {"Y_Dimension", ValueType::kText, "'0.0'"},
    {"Y_Unit_Label", ValueType::kText, "'0.0'"},
    {"Date", ValueType::kIgnored, ""},
    {"Time", ValueType::kIgnored, ""},
};

const ChannelKeyword* FindChannelKeyword(const CString& key) {
  for (const ChannelKeyword& keyword : kChannelKeywords)
    if (Is(key, keyword.name)) return &keyword;
  return nullptr;
}

bool EqualNoCase(std::string_view text, const char* word) {
  std::size_t i = 0;
  for (; i < text.size() && word[i] != '\0'; ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (fold(text[i]) != fold(word[i])) return false;
  }
  return i == text.size() && word[i] == '\0';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Whether a row's first field is a keyword that opens a section header line
// (which the header reader would find after trimming the line).
bool IsSectionKeyword(const CString& field) {
  const std::string_view text = Trimmed(field.View());
  if (EqualNoCase(text, "Channels") || EqualNoCase(text, CQTXGeneral::lpszEndOfHeader) ||
      EqualNoCase(text, CQTXGeneral::lpszStartSpecial) || EqualNoCase(text, CQTXGeneral::lpszEndSpecial))
    return true;
  for (const ChannelKeyword& keyword : kChannelKeywords)
    if (EqualNoCase(text, keyword.name)) return true;
  return false;
}

// A section as the scan placed it: its data line (the headings line's number,
// counted from 1), its row count and its channels.
struct SectionPlace {
  std::ptrdiff_t index;    // in the file's section list, as `--section` counts
  std::uint64_t dataLine;  // the headings line; rows follow it
  std::uint64_t rows;      // the largest Samples of its channels
  int channels;
  std::uint64_t RowsEnd() const { return dataLine + rows; }
};

class Validator {
 public:
  Validator(const CQTXGeneral& qtx, Report& report, bool mainHeaderComplete, std::uint64_t mainHeaderLines)
      : m_report(report),
        m_separator(qtx.m_strSeparator),
        m_mode(qtx.m_nXColumns),
        m_mainHeaderLines(mainHeaderComplete ? mainHeaderLines : std::numeric_limits<std::uint64_t>::max()) {
    for (std::ptrdiff_t i = 0; i < qtx.m_arrSections.GetSize(); ++i) {
      const CQTXSection& section = *qtx.m_arrSections.GetAt(i);
      // A section that a second Channels line replaced got no data line.
      if (section.m_nDataLine == 0) continue;
      std::uint64_t rows = 0;
      for (int j = 0; j < section.m_nChannels; ++j)
        rows = std::max<std::uint64_t>(rows, section.m_arrChannels.GetAt(j)->m_nSamples);
      m_sections.push_back({i, section.m_nDataLine, rows, std::max(section.m_nChannels, 0)});
    }
  }

  void Run(CStdioFile& file) {
    std::uint64_t n = 0;
    while (file.ReadString(m_line)) {
      ++n;
      if (m_stopLine != 0) continue;
      if (n <= m_mainHeaderLines) {
        MainHeaderLine(n);
        if (n == m_mainHeaderLines) EndMainHeader();
        continue;
      }
      while (m_part < m_sections.size() && n > m_sections[m_part].RowsEnd()) EndPart();
      if (m_part == m_sections.size() || n < m_sections[m_part].dataLine) {
        HeaderLine(n);
      } else if (n == m_sections[m_part].dataLine) {
        HeadingsLine(n);
      } else {
        RowLine(n, n - m_sections[m_part].dataLine - 1);
      }
    }
    AtEnd(n);
  }

 private:
  // --- main header ---------------------------------------------------------

  void MainHeaderLine(std::uint64_t n) {
    CTokenizer tokenizer(m_line, m_mainSeparator);
    if (!tokenizer.Next(m_key)) return;
    const bool hasValue = tokenizer.Next(m_value);
    auto missing = [&] {
      m_report.Add(kMissingValues, n,
                   [&] { return Printable(m_key) + " has no value; the line is ignored"; });
    };
    if (Is(m_key, CQTXGeneral::lpszQuorsetMeasurement)) {
      m_magic = true;
    } else if (Is(m_key, CQTXGeneral::lpszWriterVersion) || Is(m_key, CQTXGeneral::lpszReaderVersion)) {
      if (!hasValue) {
        missing();
      } else if (!IsNumber(m_value)) {
        m_report.Add(kBadValue, n, [&] {
          return Printable(m_key) + " value " + Quote(m_value) + " is not a number; it reads as " +
                 ReadsAs(m_value);
        });
      } else if (!IsFiniteDecimal(m_value)) {
        m_report.Add(kNotDecimal, n,
                     [&] { return Printable(m_key) + " value " + Quote(m_value) + NotDecimal(m_value); });
      }
    } else if (Is(m_key, CQTXGeneral::lpszSeparator)) {
      if (!hasValue) {
        missing();
      } else if (Is(m_value, CQTXGeneral::lpszTab)) {
        m_mainSeparator = "\t";
      } else if (Is(m_value, CQTXGeneral::lpszComma)) {
        m_mainSeparator = ",";
      } else {
        m_mainSeparator = m_value.View();
      }
    } else if (Is(m_key, CQTXGeneral::lpszMultiHeadings)) {
      if (!hasValue) {
        missing();
      } else if (!Is(m_value, CQTXGeneral::lpszYes) && !Is(m_value, CQTXGeneral::lpszNo)) {
        m_report.Add(kBadValue, n, [&] {
          return Printable(m_key) + " value " + Quote(m_value) + " is neither Yes nor No; it reads as No";
        });
      }
    } else if (Is(m_key, CQTXGeneral::lpszXColumns)) {
      if (!hasValue) {
        missing();
      } else if (!Is(m_value, CQTXGeneral::lpszNo) && !Is(m_value, CQTXGeneral::lpszOne) &&
                 !Is(m_value, CQTXGeneral::lpszMulti)) {
        m_report.Add(kBadValue, n, [&] {
          return Printable(m_key) + " value " + Quote(m_value) +
                 " is not No, One or Multi; the line is ignored";
        });
      }
    } else if (!Is(m_key, CQTXGeneral::lpszTimePref) && !Is(m_key, CQTXGeneral::lpszTime) &&
               !Is(m_key, CQTXGeneral::lpszDate) && !Is(m_key, CQTXGeneral::lpszDescription) &&
               !Is(m_key, CQTXGeneral::lpszEndOfHeader)) {
      m_report.Add(kUnknownKeyword, n, [&] {
        return "unknown keyword " + Quote(m_key) + " in the main header; the line is ignored";
      });
    }
  }

  // `unterminated` is the last line when the file ends inside the main
  // header, 0 otherwise.
  void EndMainHeader(std::uint64_t unterminated = 0) {
    if (!m_magic)
      m_report.Add(kNoMagic, 1, [] {
        return std::string("no '") + CQTXGeneral::lpszQuorsetMeasurement + "' line in the main header";
      });
    if (unterminated != 0)
      m_report.Add(kNoMainHeaderEnd, unterminated, [] {
        return std::string("the file ends before the main header's ") + CQTXGeneral::lpszEndOfHeader +
               " line; a reader finds no sections";
      });
    m_report.EndPart();
    m_mainHeaderDone = true;
  }

  // --- section headers -----------------------------------------------------

  void HeaderLine(std::uint64_t n) {
    // Section header lines are trimmed, and blank ones passed over.
    m_line.Trim();
    if (m_line.IsEmpty()) return;
    CTokenizer tokenizer(m_line, m_separator);
    if (!tokenizer.Next(m_key)) return;
    if (m_specialLine != 0) {
      if (Is(m_key, CQTXGeneral::lpszEndSpecial)) {
        m_specialLine = 0;
      } else if (Is(m_key, CQTXGeneral::lpszEndOfHeader)) {
        const std::uint64_t opened = m_specialLine;
        m_report.Add(kOpenSpecial, n, [opened] {
          return std::string(CQTXGeneral::lpszEndOfHeader) + " inside the special block opened at line " +
                 std::to_string(opened) + " is ignored; " + CQTXGeneral::lpszEndSpecial +
                 " is missing before it";
        });
      }
      return;
    }
    const bool numbers = IsNumber(m_key);
    ResolveBlankRows(numbers ? Follows::kData : Follows::kHeader);
    // After a section header that the previous rows took in, its remaining
    // lines and its rows are no news: the finding on that header says it.
    if (Is(m_key, "Channels")) m_afterLostHeader = false;
    const bool quiet = m_afterLostHeader;
    if (numbers && quiet) return;
    if (numbers && !m_sawKeyword && m_part > 0) {
      // Rows beyond what the previous section's Samples declares: the reader
      // takes them as header lines and passes over them.
      if (m_extraRows++ == 0) m_extraRowsLine = n;
      return;
    }
    ReportExtraRows();
    m_sawKeyword = true;

    if (Is(m_key, "Channels")) {
      ChannelsLine(n, tokenizer);
    } else if (const ChannelKeyword* keyword = FindChannelKeyword(m_key)) {
      if (!quiet || m_channelsLine != 0) ChannelKeywordLine(n, *keyword, tokenizer);
    } else if (Is(m_key, CQTXGeneral::lpszEndOfHeader)) {
      m_endSeen = true;
      // A header that ends without a Channels line ends the scan: the
      // reader reads no line after it.
      if (m_channelsLine == 0) m_stopLine = n;
    } else if (Is(m_key, CQTXGeneral::lpszStartSpecial)) {
      m_specialLine = n;
    } else if (!quiet && !Is(m_key, CQTXGeneral::lpszEndSpecial)) {
      m_report.Add(kUnknownKeyword, n, [&] {
        return "unknown keyword " + Quote(m_key) + " in a section header; the line is ignored";
      });
    }
  }

  void ChannelsLine(std::uint64_t n, CTokenizer& tokenizer) {
    if (m_channelsLine != 0) {
      const std::uint64_t first = m_channelsLine;
      m_report.Add(kRepeatedChannels, n, [first] {
        return "a second Channels line in one section header: the section opened at line " +
               std::to_string(first) + " gets no rows, and the lines from here on go to a new section";
      });
    }
    m_channelsLine = n;
    m_samplesSeen = false;
    m_channels = 0;
    if (!tokenizer.Next(m_value)) {
      m_report.Add(kMissingValues, n,
                   [] { return std::string("Channels has no value; the section has no channels"); });
      return;
    }
    if (!IsCount(m_value.View())) {
      m_report.Add(kBadValue, n,
                   [&] { return "Channels value " + Quote(m_value) + " is not a whole number of channels"; });
    }
    const long count = std::strtol(m_value.GetString(), nullptr, 10);
    m_channels = static_cast<int>(std::clamp<long>(count, 0, std::numeric_limits<int>::max()));
    if (m_channels == 0 && IsCount(m_value.View()))
      m_report.Add(kBadValue, n, [] { return std::string("Channels value 0: the section has no channels"); });
  }

  void ChannelKeywordLine(std::uint64_t n, const ChannelKeyword& keyword, CTokenizer& tokenizer) {
    if (keyword.type == ValueType::kIgnored) return;
    if (m_channelsLine == 0) {
      m_report.Add(kMisplacedKeyword, n, [&] {
        return std::string(keyword.name) + " before the section's Channels line is ignored";
      });
      return;
    }
    if (keyword.type == ValueType::kCount) m_samplesSeen = true;
    int values = 0;
    bool reported = false;
    for (; values < m_channels && tokenizer.Next(m_value); ++values) {
      if (reported) continue;
      const auto what = [&] {
        return std::string(keyword.name) + " value " + Quote(m_value) + " for channel " +
               std::to_string(values);
      };
      if (keyword.type == ValueType::kCount && !IsCount(m_value.View())) {
        reported = true;
        m_report.Add(kBadValue, n, [&] {
          const std::optional<std::uint32_t> rows = OutOfRange(m_value.View());
          return what() + (rows ? " is out of range; a reader takes it for " + Plural(*rows, "row")
                                : std::string(" is not a whole number of rows"));
        });
      } else if (keyword.type == ValueType::kNumber && !IsNumber(m_value)) {
        reported = true;
        m_report.Add(kNotANumber, n,
                     [&] { return what() + " is not a number; it reads as " + ReadsAs(m_value); });
      } else if (keyword.type == ValueType::kNumber && !IsFiniteDecimal(m_value)) {
        reported = true;
        m_report.Add(kNotDecimal, n, [&] { return what() + NotDecimal(m_value); });
      } else if (keyword.type == ValueType::kText && HasControl(m_value)) {
        reported = true;
        m_report.Add(kControlCharacter, n, [&] { return what() + kHoldsControl; });
      }
    }
    if (values < m_channels) {
      const int channels = m_channels;
      m_report.Add(kMissingValues, n, [&keyword, values, channels] {
        const std::string name = keyword.name;
        if (values == 0)
          return name + " has no values; " +
                 (channels == 1 ? std::string("the channel reads a fill value")
                                : "the " + std::to_string(channels) + " channels read fill values");
        std::string message = name + " has " + Plural(static_cast<std::uint64_t>(values), "value") + " for " +
                              Plural(static_cast<std::uint64_t>(channels), "channel") + "; ";
        message += values + 1 == channels ? "channel " + std::to_string(values) + " reads "
                                          : "channels " + std::to_string(values) + " to " +
                                                std::to_string(channels - 1) + " read ";
        return message + keyword.fill;
      });
    }
  }

  void ReportExtraRows() {
    if (m_extraRows == 0) return;
    const SectionPlace& previous = m_sections[m_part - 1];
    const std::uint64_t count = m_extraRows;
    m_report.Add(kExtraRows, m_extraRowsLine, [&previous, count] {
      return Plural(count, "more line") + " of numbers after the " + Plural(previous.rows, "row") +
             " section " + std::to_string(previous.index) + " declares (Samples); a reader passes over " +
             (count == 1 ? "it" : "them");
    });
    m_extraRows = 0;
  }

  // --- headings and rows ---------------------------------------------------

  // The fields a headings line or a row needs in the file's X-column mode.
  std::uint64_t FieldsNeeded(int channels) const {
    const auto n = static_cast<std::uint64_t>(channels);
    return m_mode == 1 ? n + 1 : m_mode == 2 ? 2 * n : n;
  }

  std::string ModeText(int channels) const {
    return std::string("X_Columns ") + ModeName(m_mode) + " with " +
           Plural(static_cast<std::uint64_t>(channels), "channel");
  }

  void HeadingsLine(std::uint64_t n) {
    const SectionPlace& section = m_sections[m_part];
    CTokenizer tokenizer(m_line, m_separator);
    std::uint64_t fields = 0;
    bool allNumbers = true;
    while (tokenizer.Next(m_value)) {
      ++fields;
      allNumbers = allNumbers && IsNumber(m_value);
      if (HasControl(m_value))
        m_report.Add(kControlCharacter, n,
                     [&] { return "heading " + std::to_string(fields) + " " + Quote(m_value) + kHoldsControl; });
    }
    const std::uint64_t needed = FieldsNeeded(section.channels);
    if (fields > 0 && allNumbers) {
      m_report.Add(kBadHeadings, n, [] {
        return std::string(
            "the headings line holds only numbers; a reader takes it as headings, not as a row");
      });
    } else if (fields < needed) {
      m_report.Add(kBadHeadings, n, [&] {
        return "the headings line has " + Plural(fields, "heading") + " where " + ModeText(section.channels) +
               " needs " + std::to_string(needed);
      });
    }
  }

  void RowLine(std::uint64_t n, std::uint64_t row) {
    if (m_rowsTaken) {
      // The rest are header lines read as rows: only a lost section is news.
      CTokenizer tokenizer(m_line, m_separator);
      if (tokenizer.Next(m_value) && EqualNoCase(Trimmed(m_value.View()), "Channels"))
        m_report.Add(kRowsTakeHeader, n, [] {
          return std::string("this Channels line is read as a data row: the section it opens is lost");
        });
      return;
    }
    const SectionPlace& section = m_sections[m_part];
    CTokenizer tokenizer(m_line, m_separator);
    if (!tokenizer.Next(m_value)) {
      // A line without fields: a row of zeros, or the gap before the next
      // section header; what follows tells which.
      if (m_blankRows++ == 0) {
        m_blankLine = n;
        m_blankRow = row;
        m_blankPart = m_part;
      }
      return;
    }
    if (IsSectionKeyword(m_value)) {
      RowsTakeHeader(m_blankRows > 0 ? m_blankLine : n, m_blankRows > 0 ? m_blankRow : row);
      m_blankRows = 0;
      if (EqualNoCase(Trimmed(m_value.View()), "Channels")) RowLine(n, row);
      return;
    }
    ResolveBlankRows(Follows::kData);

    const std::uint64_t needed = FieldsNeeded(section.channels);
    std::uint64_t fields = 0;
    do {
      ++fields;
      if (!IsFiniteDecimal(m_value)) {
        const bool number = IsNumber(m_value);
        m_report.Add(number ? kNotDecimal : kNotANumber, n, [&] {
          const std::string what = "field " + std::to_string(fields) + " " + Quote(m_value);
          return what + (number ? NotDecimal(m_value) : " is not a number; it reads as " + ReadsAs(m_value));
        });
      }
    } while (fields < needed && tokenizer.Next(m_value));
    if (fields < needed) {
      m_report.Add(kShortRow, n, [&] {
        return "the row has " + Plural(fields, "field") + " where " + ModeText(section.channels) + " needs " +
               std::to_string(needed) + "; the missing values read as 0";
      });
    }
  }

  void RowsTakeHeader(std::uint64_t n, std::uint64_t row) {
    const SectionPlace& section = m_sections[m_part];
    m_rowsTaken = true;
    m_report.Add(kRowsTakeHeader, n, [&section, row] {
      return "section " + std::to_string(section.index) + " declares " + Plural(section.rows, "row") +
             " (Samples) but the next section header begins here, after " + Plural(row, "row") +
             "; a reader reads its first " + std::to_string(section.rows - row) + " lines as rows";
    });
  }

  // Lines without fields at the end of a section's rows are read as rows of
  // zeros; whether they are meant as rows shows only at the next line with
  // fields.
  enum class Follows { kData, kHeader, kEnd };
  void ResolveBlankRows(Follows next) {
    if (m_blankRows == 0) return;
    const std::uint64_t count = m_blankRows;
    m_blankRows = 0;
    if (next == Follows::kData) {
      for (std::uint64_t i = 0; i < count; ++i)
        m_report.Add(kShortRow, m_blankLine + i, [] {
          return std::string("a line without fields among the rows reads as a row of zeros");
        });
      return;
    }
    const SectionPlace& section = m_sections[m_blankPart];
    const std::uint64_t row = m_blankRow;
    m_report.Add(
        next == Follows::kHeader ? kRowsTakeHeader : kRowsCut, m_blankLine, [&section, row, count, next] {
          return "section " + std::to_string(section.index) + " declares " + Plural(section.rows, "row") +
                 " (Samples) but only " + std::to_string(row) + " stand before the " +
                 (next == Follows::kHeader ? "next section header" : "end of the file") +
                 "; a reader takes " +
                 (count == 1 ? "this empty line as a row"
                             : "these " + std::to_string(count) + " empty lines as rows");
        });
  }

  // --- the ends of parts and of the file -----------------------------------

  void EndPart() {
    ReportExtraRows();
    if (m_part < m_sections.size() && m_channelsLine != 0 && !m_samplesSeen) {
      const std::ptrdiff_t index = m_sections[m_part].index;
      m_report.Add(kNoSamples, m_channelsLine, [index] {
        return "section " + std::to_string(index) + " has no Samples line; a reader takes it to have no rows";
      });
    }
    m_report.EndPart();
    ++m_part;
    m_afterLostHeader = m_rowsTaken;
    m_channelsLine = 0;
    m_channels = 0;
    m_samplesSeen = false;
    m_endSeen = false;
    m_sawKeyword = false;
    m_rowsTaken = false;
  }

  void AtEnd(std::uint64_t n) {
    if (!m_mainHeaderDone) {
      EndMainHeader(std::max<std::uint64_t>(n, 1));
      return;
    }
    if (m_part < m_sections.size()) {
      const SectionPlace& section = m_sections[m_part];
      if (n < section.dataLine) {
        const std::ptrdiff_t index = section.index;
        const bool endSeen = m_endSeen;
        m_report.Add(kHeaderCut, n, [index, endSeen] {
          return "the file ends " +
                 std::string(endSeen ? "before the headings line of section "
                                     : "inside the header of section ") +
                 std::to_string(index) +
                 (endSeen ? "" : std::string(", before its ") + CQTXGeneral::lpszEndOfHeader + " line");
        });
      } else if (n < section.RowsEnd() && !m_rowsTaken && m_blankRows == 0) {
        const std::uint64_t present = n - section.dataLine;
        m_report.Add(kRowsCut, n, [&section, present] {
          return "section " + std::to_string(section.index) + " declares " + Plural(section.rows, "row") +
                 " (Samples) but the file ends after " + std::to_string(present);
        });
      }
    }
    ResolveBlankRows(Follows::kEnd);
    if (m_stopLine != 0) {
      const std::uint64_t unread = n - m_stopLine;
      m_report.Add(kStop, m_stopLine, [unread] {
        std::string message = std::string("this ") + CQTXGeneral::lpszEndOfHeader +
                              " ends a section header without a Channels line; a reader stops here";
        if (unread > 0) message += " and reads none of the " + Plural(unread, "line") + " after it";
        return message;
      });
    }
    if (m_specialLine != 0)
      m_report.Add(kOpenSpecial, m_specialLine, [] {
        return std::string(CQTXGeneral::lpszStartSpecial) + " is never closed by " +
               CQTXGeneral::lpszEndSpecial + "; a reader ignores every line after it";
      });
    EndPart();
  }

  Report& m_report;
  const CString& m_separator;
  const int m_mode;
  const std::uint64_t m_mainHeaderLines;
  std::vector<SectionPlace> m_sections;

  // Reused for every line and field.
  CString m_line;
  CString m_key;
  CString m_value;

  // Main header.
  CString m_mainSeparator = "\t";
  bool m_magic = false;
  bool m_mainHeaderDone = false;

  // The part being read: the header, headings and rows of m_sections[m_part],
  // or the lines after the last section when m_part is their count.
  std::size_t m_part = 0;
  std::uint64_t m_channelsLine = 0;  // the last Channels line of the header, 0 before one
  int m_channels = 0;
  bool m_samplesSeen = false;
  bool m_endSeen = false;
  bool m_sawKeyword = false;        // a header line other than numbers was met
  std::uint64_t m_specialLine = 0;  // the open special block's first line, 0 when none is open
  std::uint64_t m_stopLine = 0;     // the end line at which the scan stopped, 0 before
  std::uint64_t m_extraRows = 0;    // lines of numbers right after the previous section's rows
  std::uint64_t m_extraRowsLine = 0;
  bool m_rowsTaken = false;        // the rows ran into the next section header
  bool m_afterLostHeader = false;  // the previous section's rows took in this part's header
  std::uint64_t m_blankRows = 0;   // lines without fields not yet known to be rows
  std::uint64_t m_blankLine = 0;
  std::uint64_t m_blankRow = 0;
  std::size_t m_blankPart = 0;
};

int Run(const std::vector<std::string>& args) {
  const Arguments arguments(args, {});
  arguments.ExpectPositionals(1);
  const std::string& path = arguments.Positionals()[0];

  CQTXGeneral qtx;
  const bool complete = TryScanFile(qtx, path);

  CStdioFile file;
  OpenForReading(file, path);
  std::uint32_t nMainHeaderLines = 0;
  {
    CQTXGeneral header;
    header.QTX_ReadMainHeader(nMainHeaderLines, &file);
  }
  file.Seek(0, CFile::begin);

  Report report(path);
  Validator(qtx, report, complete, nMainHeaderLines).Run(file);
  if (report.Total() > 0) return kExitProblems;
  PrintStdout("%s: no problems found\n", path.c_str());
  return kExitOk;
}

}  // namespace

const Command kValidateCommand = {
    "validate", "list what a reader accepts silently but a person wants to know", kUsage, Run};

}  // namespace qtx::tool

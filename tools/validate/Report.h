// The findings of qtx validate: their kinds, and the report that collects
// those of one part of the file and prints them when the part ends.
#ifndef QTX_TOOLS_VALIDATE_REPORT_H
#define QTX_TOOLS_VALIDATE_REPORT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qtx::tool::validate {

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
  kXFalls,
  kKindCount
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

  // Prints the part's findings in line order, with a closing line per kind
  // of which some were not shown, and starts the next part.
  void EndPart();

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

}  // namespace qtx::tool::validate

#endif  // QTX_TOOLS_VALIDATE_REPORT_H

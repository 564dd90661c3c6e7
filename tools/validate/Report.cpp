#include "validate/Report.h"

#include <algorithm>

#include "cli/OutputFile.h"

namespace qtx::tool::validate {

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
    {"X that falls", "X values that fall"},
};

void Report::EndPart() {
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

}  // namespace qtx::tool::validate

// The pass over the lines, and what is checked when a part or the file ends.
#include "validate/Validator.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace qtx::tool::validate {

Validator::Validator(const CQTXGeneral& qtx, Report& report, bool mainHeaderComplete, std::uint64_t mainHeaderLines)
    : m_report(report), m_separator(qtx.m_strSeparator), m_mode(qtx.m_nXColumns), m_mainHeaderLines(mainHeaderComplete ? mainHeaderLines : std::numeric_limits<std::uint64_t>::max()) {
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

void Validator::Run(CStdioFile& file) {
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

void Validator::EndPart() {
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
  m_lastX = -std::numeric_limits<double>::infinity();
  m_xFell = false;
}

void Validator::AtEnd(std::uint64_t n) {
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

}  // namespace qtx::tool::validate

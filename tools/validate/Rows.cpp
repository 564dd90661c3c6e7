// The checks of a section's headings line and rows.
#include "validate/Validator.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace qtx::tool::validate {

std::uint64_t Validator::FieldsNeeded(int channels) const {
  const auto n = static_cast<std::uint64_t>(channels);
  return m_mode == 1 ? n + 1 : m_mode == 2 ? 2 * n : n;
}

std::string Validator::ModeText(int channels) const {
  return std::string("X_Columns ") + ModeName(m_mode) + " with " +
         Plural(static_cast<std::uint64_t>(channels), "channel");
}

void Validator::HeadingsLine(std::uint64_t n) {
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

void Validator::RowLine(std::uint64_t n, std::uint64_t row) {
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
    if (fields == 1 && m_mode == 1) XOfRow(n, row);
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

void Validator::XOfRow(std::uint64_t n, std::uint64_t row) {
  const double x = std::strtod(m_value.GetString(), nullptr);
  if (x != x) return;  // reported as no finite number
  if (x < m_lastX && !m_xFell) {
    m_xFell = true;
    const double before = m_lastX;
    m_report.Add(kXFalls, n, [row, before, x] {
      return "X falls from " + FormatDouble(before) + " to " + FormatDouble(x) + " at row " + std::to_string(row) +
             "; a lookup by X (--x, rows_between) refuses this section";
    });
  }
  m_lastX = x;
}

void Validator::RowsTakeHeader(std::uint64_t n, std::uint64_t row) {
  const SectionPlace& section = m_sections[m_part];
  m_rowsTaken = true;
  m_report.Add(kRowsTakeHeader, n, [&section, row] {
    return "section " + std::to_string(section.index) + " declares " + Plural(section.rows, "row") +
           " (Samples) but the next section header begins here, after " + Plural(row, "row") +
           "; a reader reads its first " + std::to_string(section.rows - row) + " lines as rows";
  });
}

void Validator::ResolveBlankRows(Follows next) {
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

}  // namespace qtx::tool::validate

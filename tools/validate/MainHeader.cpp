// The checks of the main header's lines.
#include "validate/Validator.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace qtx::tool::validate {

void Validator::MainHeaderLine(std::uint64_t n) {
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

void Validator::EndMainHeader(std::uint64_t unterminated) {
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

}  // namespace qtx::tool::validate

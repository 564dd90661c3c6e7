// The checks of a section header's lines: Channels, the per-channel
// keywords, and lines of numbers where a header belongs.
#include "validate/Validator.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace qtx::tool::validate {

void Validator::HeaderLine(std::uint64_t n) {
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

void Validator::ChannelsLine(std::uint64_t n, CTokenizer& tokenizer) {
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

void Validator::ChannelKeywordLine(std::uint64_t n, const ChannelKeyword& keyword, CTokenizer& tokenizer) {
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

void Validator::ReportExtraRows() {
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

}  // namespace qtx::tool::validate

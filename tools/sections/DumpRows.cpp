#include "sections/DumpRows.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "cli/Tool.h"

namespace qtx::tool {
namespace {

std::vector<const CQTXChannel*> ChannelsOf(const CQTXSection& section, const std::vector<int>& indexes) {
  std::vector<const CQTXChannel*> channels;
  for (const int j : indexes) channels.push_back(section.m_arrChannels.GetAt(j));
  return channels;
}

// Whether every channel of `channels` has the same X in every row: the X
// column of mode One, or the same X0 and Delta_X in mode No; on the clock
// also the same start and unit.
bool XShared(int mode, const std::vector<const CQTXChannel*>& channels, const std::vector<ChannelClock>& clocks) {
  if (channels.empty()) return false;
  for (const ChannelClock& clock : clocks)
    if (clock.start.nSeconds != clocks.front().start.nSeconds ||
        clock.start.nNanoseconds != clocks.front().start.nNanoseconds || clock.nsPerUnit != clocks.front().nsPerUnit)
      return false;
  if (mode == 1) return true;
  if (mode != 0) return channels.size() == 1;
  for (const CQTXChannel* channel : channels)
    if (channel->m_dX0 != channels.front()->m_dX0 || channel->m_dDeltaX != channels.front()->m_dDeltaX)
      return false;
  return true;
}

}  // namespace

DumpRows::DumpRows(const CQTXGeneral& qtx, const CQTXSection& section, const std::string& path,
                   std::vector<int> channels, char separator, bool units, std::vector<ChannelClock> clocks,
                   std::vector<int> digits)
    : m_qtx(qtx),
      m_section(section),
      m_path(path),
      m_indexes(std::move(channels)),
      m_channels(ChannelsOf(section, m_indexes)),
      m_separator(separator),
      m_units(units),
      m_clocks(std::move(clocks)),
      m_digits(std::move(digits)),
      m_shared(XShared(qtx.m_nXColumns, m_channels, m_clocks)) {}

std::uint32_t DumpRows::EndOf(RowChoice rows) const {
  std::uint32_t end = rows.first;
  for (const CQTXChannel* channel : m_channels) end = std::max(end, std::min(channel->m_nSamples, rows.end));
  return end;
}

void DumpRows::Start(std::uint32_t first, std::uint32_t end) {
  m_chunks.reset();
  m_chunks.emplace(m_qtx, m_section, m_path, m_indexes, first, end, m_shared);
  m_haveChunk = false;
  m_next = 0;
}

// The X of channel `channel`: on its clock where there are clocks.
void DumpRows::X(std::string& out, std::size_t channel, double x) const {
  if (m_clocks.empty())
    Number(out, x);
  else
    AppendTime(out, m_clocks[channel], x, m_digits[channel]);
}

// A number in the shortest form that reads back as the same double; a
// missing field (the row lacked it) is an empty cell.
void DumpRows::Number(std::string& out, double value) const {
  if (QTX_IsMissingValue(value)) return;
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

// A text cell: quoted as CSV needs it, or with tabs and line ends made
// spaces for TSV, which has no quoting. Other control characters are
// written as \xHH: a NUL would make the output binary.
void DumpRows::Text(std::string& out, std::string_view text) const {
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 0x20 && byte != 0x7f) || c == '\t' || c == '\n' || c == '\r') {
      escaped += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      escaped += hex;
    }
  }
  text = escaped;
  if (m_separator == '\t') {
    for (const char c : text) out += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
    return;
  }
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) {
    out.append(text);
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// A heading cell, with units its dimension and unit as convert reads them.
std::string DumpRows::Heading(const CString& text, const CString& dimension, const CString& unit) const {
  std::string cell(text.View());
  if (!m_units) return cell;
  if (!(dimension == text) && !dimension.IsEmpty()) cell += " {" + std::string(dimension.View()) + "}";
  if (!unit.IsEmpty() && !(unit == CString("-"))) cell += " [" + std::string(unit.View()) + "]";
  return cell;
}

void DumpRows::Header(std::string& out) const {
  if (m_channels.empty()) {
    out += '\n';
    return;
  }
  const CQTXChannel& front = *m_channels.front();
  if (m_shared) {
    Text(out, Heading(XHeading(front), front.m_strXDimension, front.m_strXUnitLabel));
    out += m_separator;
  }
  for (std::size_t i = 0; i < m_channels.size(); ++i) {
    const CQTXChannel& channel = *m_channels[i];
    if (i > 0) out += m_separator;
    if (!m_shared) {
      Text(out, Heading(XHeading(channel), channel.m_strXDimension, channel.m_strXUnitLabel));
      out += m_separator;
    }
    Text(out, Heading(YHeading(channel), channel.m_strYDimension, channel.m_strYUnitLabel));
  }
  out += '\n';
}

bool DumpRows::Fill(std::string& out, std::size_t least) {
  if (!m_chunks) return false;
  SectionChunks& chunks = *m_chunks;
  while (out.size() < least) {
    if (!m_haveChunk || m_next == chunks.Rows()) {
      if (!chunks.Next()) return false;
      m_haveChunk = true;
      m_next = 0;
    }
    for (; m_next < chunks.Rows() && out.size() < least; ++m_next) {
      const std::uint32_t k = m_next;
      const std::uint32_t r = chunks.First() + k;
      if (m_shared) {
        X(out, 0, chunks.X(0)[k]);
        out += m_separator;
      }
      for (std::size_t i = 0; i < m_channels.size(); ++i) {
        if (i > 0) out += m_separator;
        const bool present = r < m_channels[i]->m_nSamples;
        if (!m_shared) {
          if (present) X(out, i, chunks.X(i)[k]);
          out += m_separator;
        }
        if (present) Number(out, chunks.Y(i)[k]);
      }
      out += '\n';
    }
  }
  return true;
}

}  // namespace qtx::tool

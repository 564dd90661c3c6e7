// The answers of qtx view's server: the files' description and what a
// query asks of a section, each query checked first.
#include "view/Viewer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "cli/Tool.h"
#include "sections/DumpRows.h"
#include "sections/SectionChunks.h"
#include "sections/Sections.h"
#include "sections/WallClock.h"

namespace qtx::tool::view {
namespace {

constexpr std::uint32_t kMostColumns = 10000;
constexpr std::size_t kMostValues = std::size_t{1} << 22;
// The text of /csv goes out in pieces of about this size.
constexpr std::size_t kCsvPiece = std::size_t{1} << 16;

void AppendString(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
}

// A number, or null for one that is not finite.
void AppendNumber(std::string& out, double value) {
  out += std::isfinite(value) ? FormatDouble(value) : "null";
}

void AppendNumbers(std::string& out, const char* name, const std::vector<double>& values) {
  out += ",\"";
  out += name;
  out += "\":[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) out += ',';
    AppendNumber(out, values[i]);
  }
  out += ']';
}

// ,"name":{"row":…,"x":…,"y":…}, or null for a row not found.
void AppendRow(std::string& out, const char* name, const CursorRow& row) {
  out += ",\"";
  out += name;
  out += "\":";
  if (!row.found) {
    out += "null";
    return;
  }
  out += "{\"row\":" + std::to_string(row.row) + ",\"x\":";
  AppendNumber(out, row.x);
  out += ",\"y\":";
  AppendNumber(out, row.y);
  out += '}';
}

std::string Decoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::strtol(std::string(text.substr(i + 1, 2)).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i] == '+' ? ' ' : text[i];
    }
  }
  return out;
}

// A whole number from 0 to `most`, or -1.
long long WholeNumber(const std::string& text, long long most) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  const long long value = std::stoll(text);
  return value <= most ? value : -1;
}

// A number of the address, by the tool's one rule for number arguments: a
// decimal number, no blanks, no hexadecimal, finite.
bool FiniteNumber(const std::string& text, double& value) {
  if (text.size() > 64 || !IsDecimalNumber(text)) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(value);
}

}  // namespace

Reply Viewer::Meta() const {
  // The first file's description at the top, as before several files could
  // be shown; every file's in "files".
  std::string out = "{";
  AppendFile(out, *m_files[0]);
  out += m_options.follow ? ",\"follow\":true" : ",\"follow\":false";
  out += ",\"files\":[";
  for (std::size_t i = 0; i < m_files.size(); ++i) {
    out += i ? ",{" : "{";
    out += "\"index\":" + std::to_string(i) + ",";
    AppendFile(out, *m_files[i]);
    out += '}';
  }
  out += "]}";
  return {200, "application/json", out};
}

void Viewer::AppendFile(std::string& out, const File& f) const {
  const CQTXGeneral& qtx = *f.qtx;
  out += "\"file\":";
  AppendString(out, std::filesystem::path(f.path).filename().string());
  // As given on the command line, for the command lines the page shows.
  out += ",\"path\":";
  AppendString(out, f.path);
  out += ",\"mode\":";
  AppendString(out, ModeName(qtx.m_nXColumns));
  out += ",\"start\":" + std::to_string(f.start) + ",\"sections\":[";
  for (std::ptrdiff_t s = 0; s < qtx.m_arrSections.GetSize(); ++s) {
    const CQTXSection& section = *qtx.m_arrSections.GetAt(s);
    const std::uint32_t rows = section.RowCount();
    out += s ? ",{" : "{";
    out += "\"index\":" + std::to_string(s) + ",\"rows\":" + std::to_string(rows) +
           ",\"rowsInFile\":" + std::to_string(section.m_bRowsCounted ? std::min(rows, section.m_nRowsInFile) : rows) +
           ",\"channels\":[";
    for (int c = 0; c < std::max(0, section.m_nChannels); ++c) {
      const CQTXChannel& channel = *section.m_arrChannels.GetAt(c);
      out += c ? ",{" : "{";
      out += "\"index\":" + std::to_string(c) + ",\"heading\":";
      AppendString(out, channel.m_strYHeading.View());
      out += ",\"unit\":";
      AppendString(out, channel.m_strYUnitLabel.View());
      out += ",\"dimension\":";
      AppendString(out, channel.m_strYDimension.View());
      out += ",\"xHeading\":";
      AppendString(out, channel.m_strXHeading.View());
      out += ",\"xUnit\":";
      AppendString(out, channel.m_strXUnitLabel.View());
      out += ",\"xDimension\":";
      AppendString(out, channel.m_strXDimension.View());
      out += ",\"samples\":" + std::to_string(channel.m_nSamples);
      // Its wall clock: the start as ISO 8601 and the seconds of an X unit,
      // or null and why not.
      const std::string start = StartText(qtx, channel), seconds = XSecondsText(channel);
      out += ",\"startTime\":";
      if (start == "-") out += "null"; else AppendString(out, start);
      out += ",\"xSeconds\":" + (seconds == "-" ? std::string("null") : seconds);
      if (start == "-" || seconds == "-") {
        out += ",\"noClock\":";
        try {
          ClockOf(qtx, channel, std::filesystem::path(f.path).filename().string(), s);
          AppendString(out, "a start that cannot be written as a date");
        } catch (const Failure& failure) {
          AppendString(out, failure.what());
        }
      }
      out += '}';
    }
    out += "]}";
  }
  out += ']';
}

std::string Viewer::Parse(std::string_view query, Kind kind, Query& q) const {
  const bool stats = kind != Kind::Data, step = kind == Kind::Step;
  std::map<std::string, std::string> values;
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == query.npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    const std::size_t eq = pair.find('=');
    const std::string name = Decoded(pair.substr(0, eq));
    const bool known = name == "file" || name == "section" ||
                       (step ? name == "channel" || name == "x" || name == "dir"
                             : name == "x0" || name == "x1" || name == "channels") ||
                       (!stats && (name == "w" || name == "exact"));
    if (!known) return "unknown parameter '" + name.substr(0, 40) + "'";
    if (values.count(name)) return "parameter " + name + " given twice";
    values[name] = eq == pair.npos ? std::string() : Decoded(pair.substr(eq + 1));
  }
  const long long files = static_cast<long long>(m_files.size());
  const long long fileIndex = values.count("file") ? WholeNumber(values["file"], 1 << 20) : 0;
  if (fileIndex < 0 || fileIndex >= files)
    return "file must be the number of a file given to qtx view, 0 to " + std::to_string(files - 1);
  q.file = static_cast<std::size_t>(fileIndex);
  const File& f = *m_files[q.file];
  const std::ptrdiff_t sections = f.qtx->m_arrSections.GetSize();
  const long long sectionIndex = values.count("section") ? WholeNumber(values["section"], 1 << 30) : f.start;
  if (sectionIndex < 0 || sectionIndex >= sections)
    return "section must be a section's index, 0 to " + std::to_string(sections - 1);
  q.section = static_cast<std::size_t>(sectionIndex);
  if (!stats) {
    const long long width = WholeNumber(values["w"], kMostColumns);
    if (width < 1) return "w must be a whole number of pixel columns, 1 to " + std::to_string(kMostColumns);
    q.width = static_cast<std::uint32_t>(width);
  }
  const CQTXSection& section = *f.qtx->m_arrSections.GetAt(static_cast<std::ptrdiff_t>(sectionIndex));
  if (step) {
    const int channelCount = std::max(0, section.m_nChannels);
    const long long c = WholeNumber(values["channel"], channelCount - 1);
    if (c < 0) return "channel must be a channel of the section, 0 to " + std::to_string(channelCount - 1);
    q.channels.push_back(static_cast<int>(c));
    if (!FiniteNumber(values["x"], q.x0)) return "x must be a finite number";
    if (values["dir"] != "1" && values["dir"] != "-1") return "dir must be 1 (the next row) or -1 (the one before)";
    q.dir = values["dir"] == "1" ? 1 : -1;
    return {};
  }
  const int channelCount = std::max(0, section.m_nChannels);
  if (!values.count("channels")) {
    for (int c = 0; c < channelCount; ++c) q.channels.push_back(c);
  } else {
    const std::string& list = values["channels"];
    for (std::size_t at = 0; at < list.size();) {
      const std::size_t comma = std::min(list.find(',', at), list.size());
      const long long c = WholeNumber(list.substr(at, comma - at), channelCount - 1);
      if (c < 0) return "channels must list channels of the section, 0 to " + std::to_string(channelCount - 1);
      if (std::find(q.channels.begin(), q.channels.end(), c) != q.channels.end())
        return "channels lists channel " + std::to_string(c) + " twice";
      q.channels.push_back(static_cast<int>(c));
      at = comma + 1;
    }
  }
  // What one answer may hold: its columns for every channel asked for.
  if (q.channels.size() * std::max<std::size_t>(1, q.width) > kMostValues)
    return (stats ? "the count of channels" : "w times the count of channels") + std::string(" must be at most ") +
           std::to_string(kMostValues);
  q.exact = values.count("exact") != 0;
  if (q.exact && values["exact"] != "1") return "exact takes the value 1";
  q.hasRange = values.count("x0") || values.count("x1");
  if (stats && !q.hasRange) return std::string(kind == Kind::Csv ? "csv" : "stats") + " needs x0 and x1";
  if (q.hasRange) {
    if (!FiniteNumber(values["x0"], q.x0) || !FiniteNumber(values["x1"], q.x1) ||
        !(stats ? q.x0 <= q.x1 : q.x0 < q.x1))
      return stats ? "x0 and x1 must be finite numbers with x0 at most x1"
                   : "x0 and x1 must be finite numbers with x0 below x1";
  }
  return {};
}

Reply Viewer::Data(std::string_view query) {
  Query q;
  const std::string reason = Parse(query, Kind::Data, q);
  if (!reason.empty()) return BadRequest(reason);
  File& f = *m_files[q.file];
  const SectionSummary& summary = Summary(f, q.section);
  // The whole section; a single X widened so that it has a width.
  double low = summary.XLow(), high = summary.XHigh();
  if (std::isnan(low)) {
    low = 0;
    high = 1;
  } else if (!(low < high)) {
    const double half = std::max(0.5, std::fabs(low) * 1e-9);
    low -= half;
    high += half;
  }
  if (!q.hasRange) {
    q.x0 = low;
    q.x1 = high;
  }

  const std::vector<ChannelAnswer> answers = summary.Answer(*f.file, q.x0, q.x1, q.width, q.channels, q.exact);
  std::string out = "{\"file\":" + std::to_string(q.file) + ",\"section\":" + std::to_string(q.section) + ",\"x0\":";
  AppendNumber(out, q.x0);
  out += ",\"x1\":";
  AppendNumber(out, q.x1);
  out += ",\"w\":" + std::to_string(q.width) + ",\"rows\":" + std::to_string(summary.Rows()) +
         ",\"rowsInView\":" + std::to_string(summary.RowsIn(*f.file, q.x0, q.x1)) +
         ",\"binRows\":" + std::to_string(summary.BinRows()) + ",\"summaryValues\":" + std::to_string(summary.Size()) +
         ",\"xLow\":";
  AppendNumber(out, low);
  out += ",\"xHigh\":";
  AppendNumber(out, high);
  out += ",\"channels\":[";
  for (std::size_t i = 0; i < answers.size(); ++i) {
    const ChannelAnswer& a = answers[i];
    out += i ? ",{" : "{";
    out += "\"channel\":" + std::to_string(a.channel) + ",\"from\":" + (a.fromSummary ? "\"summary\"" : "\"rows\"");
    if (a.coarse) out += ",\"coarse\":true";
    if (a.raw) {
      out += ",\"raw\":true";
      AppendNumbers(out, "x", a.x);
      AppendNumbers(out, "y", a.y);
    } else {
      out += ",\"raw\":false,\"cols\":[";
      for (std::size_t k = 0; k < a.cols.size(); ++k) out += (k ? "," : "") + std::to_string(a.cols[k]);
      out += ']';
      AppendNumbers(out, "first", a.first);
      AppendNumbers(out, "low", a.low);
      AppendNumbers(out, "high", a.high);
      AppendNumbers(out, "last", a.last);
    }
    out += '}';
  }
  out += "]}";
  return {200, "application/json", out};
}

Reply Viewer::Stats(std::string_view query) {
  Query q;
  const std::string reason = Parse(query, Kind::Stats, q);
  if (!reason.empty()) return BadRequest(reason);
  File& f = *m_files[q.file];
  const std::vector<ChannelStats> stats = Summary(f, q.section).Stats(*f.file, q.x0, q.x1, q.channels);
  std::string out = "{\"file\":" + std::to_string(q.file) + ",\"section\":" + std::to_string(q.section) + ",\"x0\":";
  AppendNumber(out, q.x0);
  out += ",\"x1\":";
  AppendNumber(out, q.x1);
  out += ",\"channels\":[";
  auto cursor = [&out](const char* name, const CursorRow& row) { AppendRow(out, name, row); };
  for (std::size_t i = 0; i < stats.size(); ++i) {
    const ChannelStats& s = stats[i];
    out += i ? ",{" : "{";
    out += "\"channel\":" + std::to_string(s.channel);
    cursor("a", s.a);
    cursor("b", s.b);
    out += ",\"rows\":" + std::to_string(s.rows) + ",\"count\":" + std::to_string(s.count);
    if (s.count) {
      for (const auto& [name, value] : {std::pair<const char*, double>{"min", s.min}, {"max", s.max},
                                        {"xMin", s.xMin}, {"xMax", s.xMax}, {"mean", s.mean}, {"rms", s.rms}}) {
        out += ",\"";
        out += name;
        out += "\":";
        AppendNumber(out, value);
      }
    }
    out += '}';
  }
  out += "]}";
  return {200, "application/json", out};
}

Reply Viewer::Csv(std::string_view query) {
  Query q;
  const std::string reason = Parse(query, Kind::Csv, q);
  if (!reason.empty()) return BadRequest(reason);
  const File& f = *m_files[q.file];
  const long long sectionIndex = static_cast<long long>(q.section);
  const CQTXSection& section = *f.qtx->m_arrSections.GetAt(static_cast<std::ptrdiff_t>(q.section));
  if (q.channels.empty()) return BadRequest("csv needs a channel, and section " + std::to_string(q.section) + " has none");
  // As qtx dump --channels: the section's order, whatever the list's.
  std::sort(q.channels.begin(), q.channels.end());
  RowChoice rows{};
  try {
    rows = ChooseRows(*f.qtx, section, sectionIndex, f.path, std::nullopt, FormatDouble(q.x0) + ":" + FormatDouble(q.x1));
  } catch (const Failure& failure) {
    return BadRequest(failure.what());
  }
  // The download's name: the file's stem, of characters every system takes.
  std::string name;
  for (const char c : std::filesystem::path(f.path).stem().string())
    name += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ? c : '_';
  Reply reply{200, "text/csv; charset=utf-8", {}};
  reply.disposition = "attachment; filename=\"" + name.substr(0, 100) + "-section" + std::to_string(q.section) + ".csv\"";
  const std::shared_ptr<const CQTXGeneral> qtx = f.qtx;
  const auto dump = std::make_shared<DumpRows>(*qtx, section, f.path, q.channels, ',', false);
  dump->Start(rows.first, dump->EndOf(rows));
  auto header = std::make_shared<bool>(true);
  reply.pieces = [qtx, dump, header](std::string& out) {
    if (*header) dump->Header(out);
    *header = false;
    return dump->Fill(out, kCsvPiece);
  };
  return reply;
}

Reply Viewer::Step(std::string_view query) {
  Query q;
  const std::string reason = Parse(query, Kind::Step, q);
  if (!reason.empty()) return BadRequest(reason);
  File& f = *m_files[q.file];
  const CQTXSection& section = *f.qtx->m_arrSections.GetAt(static_cast<std::ptrdiff_t>(q.section));
  const int channel = q.channels[0];
  const double x = q.x0;
  // The cursor's row: the one at or just before x. The next row follows it;
  // the row before is that row itself when the cursor lies past it.
  const CursorRow at = Summary(f, q.section).Stats(*f.file, x, x, q.channels)[0].a;
  long long target = -1;
  if (q.dir > 0)
    target = at.found ? static_cast<long long>(at.row) + 1 : 0;
  else if (at.found)
    target = at.x < x ? static_cast<long long>(at.row) : static_cast<long long>(at.row) - 1;
  CursorRow row;
  const std::uint32_t samples = section.m_arrChannels.GetAt(channel)->m_nSamples;
  if (target >= 0 && target < samples) {
    SectionChunks chunk(*f.qtx, section, f.path, q.channels, static_cast<std::uint32_t>(target),
                        static_cast<std::uint32_t>(target) + 1);
    if (chunk.Next() && chunk.Rows() == 1) {
      row.found = true;
      row.row = static_cast<std::uint32_t>(target);
      row.x = chunk.X(0)[0];
      row.y = chunk.Y(0)[0];
    }
  }
  std::string out = "{\"file\":" + std::to_string(q.file) + ",\"section\":" + std::to_string(q.section) +
                    ",\"channel\":" + std::to_string(channel) + ",\"x\":";
  AppendNumber(out, x);
  out += ",\"dir\":" + std::to_string(q.dir);
  AppendRow(out, "row", row);
  out += "}";
  return {200, "application/json", out};
}

}  // namespace qtx::tool::view

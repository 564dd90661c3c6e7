#include "cli/Tool.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <memory>
#include <system_error>
#include <vector>

namespace qtx::tool {

Arguments::Arguments(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                     const std::vector<std::string>& flags) {
  auto listed = [](const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names)
      if (n == name) return true;
    return false;
  };
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      m_positionals.push_back(arg);
      continue;
    }
    // "--name=value" is the same as "--name value".
    const std::size_t equals = arg.find('=');
    std::string name = arg.substr(0, equals);
    if (name == "-o" && listed(valued, "--output")) name = "--output";
    // Which of two values was meant cannot be known: neither wins.
    if (m_options.count(name) != 0 && (listed(flags, name) || listed(valued, name)))
      throw UsageError("option " + name + " given twice");
    if (listed(flags, name) && equals == std::string::npos) {
      m_options[name] = "";
    } else if (listed(valued, name)) {
      if (equals != std::string::npos) {
        m_options[name] = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        m_options[name] = args[++i];
      } else {
        throw UsageError("option " + name + " needs a value");
      }
    } else {
      throw UsageError("unknown option " + arg);
    }
  }
}

void Arguments::ExpectPositionals(std::size_t count) const {
  if (m_positionals.size() < count) throw UsageError("missing arguments");
  if (m_positionals.size() > count) throw UsageError("unexpected argument " + m_positionals[count]);
}

std::optional<std::string> Arguments::Get(const std::string& name) const {
  const auto it = m_options.find(name);
  if (it == m_options.end()) return std::nullopt;
  return it->second;
}

std::optional<long long> Arguments::GetInteger(const std::string& name, long long minimum) const {
  const std::optional<std::string> text = Get(name);
  if (!text) return std::nullopt;
  long long value = 0;
  const char* end = text->data() + text->size();
  const auto result = std::from_chars(text->data(), end, value);
  if (text->empty() || result.ec != std::errc() || result.ptr != end)
    throw UsageError("option " + name + " needs a whole number, not '" + *text + "'");
  if (value < minimum)
    throw UsageError("option " + name + " must be at least " + std::to_string(minimum));
  return value;
}

std::optional<double> Arguments::GetNumber(const std::string& name) const {
  const std::optional<std::string> text = Get(name);
  if (!text) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text->c_str(), &end);
  if (text->empty() || *end != '\0' || !std::isfinite(value))
    throw UsageError("option " + name + " needs a number, not '" + *text + "'");
  return value;
}

std::size_t Arguments::GetChoice(const std::string& name, const std::vector<const char*>& choices,
                                 std::size_t fallback) const {
  const std::optional<std::string> text = Get(name);
  if (!text) return fallback;
  std::string list;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (CString(text->c_str()).CompareNoCase(choices[i]) == 0) return i;
    list += std::string(i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
  }
  throw UsageError("option " + name + " must be " + list + ", not '" + *text + "'");
}

void Warn(const std::string& message) {
  std::fprintf(stderr, "qtx: %s\n", message.c_str());
}

std::string FormatDouble(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
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

CString YHeading(const CQTXChannel& channel) {
  if (!channel.m_strYHeading.IsEmpty()) return channel.m_strYHeading;
  return CString(("Y" + std::to_string(static_cast<long long>(channel.m_nIndex) + 1)).c_str());
}

CString XHeading(const CQTXChannel& channel) {
  return channel.m_strXHeading.IsEmpty() ? CString("X_Value") : channel.m_strXHeading;
}

const char* ModeName(int nXColumns) {
  switch (nXColumns) {
    case 0: return CQTXGeneral::lpszNo;
    case 1: return CQTXGeneral::lpszOne;
    case 2: return CQTXGeneral::lpszMulti;
    default: return "?";
  }
}

void OpenForReading(CStdioFile& file, const std::string& path) {
  // Whatever is missing or a folder, the open below says best.
  std::error_code statusError;
  const std::filesystem::file_type type = std::filesystem::status(path, statusError).type();
  if (type != std::filesystem::file_type::regular && type != std::filesystem::file_type::directory &&
      type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none)
    throw Failure(path + " is not a regular file; qtx reads files it can seek in");
  CFileException error;
  if (!file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite | CFile::typeText, &error))
    throw Failure(std::string("cannot open ") + error.what());
}

bool TryScanFile(CQTXGeneral& qtx, const std::string& path) {
  // The scan says only whether it worked; an open of our own says why not.
  {
    CStdioFile probe;
    OpenForReading(probe, path);
  }
  try {
    return qtx.ReadQTXFile(CString(path.c_str()));
  } catch (const std::bad_alloc&) {
    throw Failure(path + ": the file declares more than fits in memory");
  }
}

void ScanFile(CQTXGeneral& qtx, const std::string& path) {
  if (!TryScanFile(qtx, path)) throw Failure(path + ": the file ends before the main header's end line");
}

CQTXSection& SectionAt(CQTXGeneral& qtx, long long index) {
  const std::ptrdiff_t count = qtx.m_arrSections.GetSize();
  if (index < 0 || index >= count)
    throw Failure("there is no section " + std::to_string(index) + " (the file has " + std::to_string(count) +
                  " section" + (count == 1 ? "" : "s") + ")");
  return *qtx.m_arrSections.GetAt(static_cast<std::ptrdiff_t>(index));
}

std::uint32_t RowCount(const CQTXSection& section) { return section.RowCount(); }

std::uint32_t ReadValues(CQTXGeneral& qtx, CQTXSection& section, long long sectionIndex,
                         const std::string& path, int channel) {
  // Arrays for the rows the file holds, which the scan counted, and not for
  // what the header declares: a small file may declare billions.
  const std::uint32_t declared = RowCount(section);
  const std::uint32_t held = std::min(section.m_nRowsInFile, declared);
  const std::string what = path + ": section " + std::to_string(sectionIndex) + " declares " +
                           std::to_string(declared) + " row" + (declared == 1 ? "" : "s");
  CStdioFile file;
  OpenForReading(file, path);
  const int nChannels = std::max(section.m_nChannels, 0);
  std::vector<QTXChannelTarget> targets;
  std::vector<std::unique_ptr<double[]>> arrays;
  try {
    for (int j = 0; j < nChannels; ++j) {
      if (channel >= 0 && channel != j) continue;
      arrays.emplace_back(new double[std::max<std::uint32_t>(held, 1)]);
      arrays.emplace_back(new double[std::max<std::uint32_t>(held, 1)]);
      targets.push_back({j, arrays[arrays.size() - 2].get(), arrays.back().get()});
    }
  } catch (const std::bad_alloc&) {
    throw Failure(what + ", more than fit in memory");
  }
  const QTXRowsRead read = qtx.QTX_ReadRows(&file, &section, 0, held, targets.data(), targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    CQTXChannel& target = *section.m_arrChannels.GetAt(targets[i].nChannel);
    delete[] target.m_pXValues;
    delete[] target.m_pYValues;
    target.m_pXValues = arrays[2 * i].release();
    target.m_pYValues = arrays[2 * i + 1].release();
  }
  if (read.nRows < declared)
    Warn(what + " (Samples), but the file holds " + std::to_string(read.nRows));
  return read.nRows;
}

void CheckChannel(const CQTXSection& section, long long sectionIndex, long long channel) {
  const int count = section.m_nChannels > 0 ? section.m_nChannels : 0;
  if (channel >= 0 && channel < count) return;
  throw Failure("section " + std::to_string(sectionIndex) + " has no channel " + std::to_string(channel) +
                " (it has " + std::to_string(count) + " channel" + (count == 1 ? "" : "s") + ")");
}

}  // namespace qtx::tool

#include "cli/Tool.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
  const double value = IsDecimalNumber(*text) ? std::strtod(text->c_str(), nullptr) : NAN;
  if (!std::isfinite(value))
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

void AppendRow(std::string& text, const double* values, std::size_t n) {
  std::size_t present = n;
  while (present > 0 && QTX_IsMissingValue(values[present - 1])) --present;
  char digits[32];
  for (std::size_t k = 0; k < present; ++k) {
    if (k > 0) text += '\t';
    if (QTX_IsMissingValue(values[k])) {
      text += "nan";
      continue;
    }
    const auto result = std::to_chars(digits, digits + sizeof digits, values[k]);
    text.append(digits, result.ptr);
  }
  text += '\n';
}

bool IsDecimalNumber(std::string_view text) {
  std::size_t i = 0, digits = 0;
  const auto run = [&] {
    const std::size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - from;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  digits = run();
  if (i < text.size() && text[i] == '.') {
    ++i;
    digits += run();
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (run() == 0) return false;
  }
  return i == text.size();
}

}  // namespace qtx::tool

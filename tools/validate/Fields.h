// The tests of single fields and keywords that the checks of qtx validate
// share. They run for every field of every row: all inline.
#ifndef QTX_TOOLS_VALIDATE_FIELDS_H
#define QTX_TOOLS_VALIDATE_FIELDS_H

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "cli/Tool.h"
#include "qtx/QTXLibrary.h"

namespace qtx::tool::validate {

inline bool Is(const CString& text, const char* word) {
  return text.CompareNoCase(word) == 0;
}

inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whether the whole field converts as a number, as the readers' atof sees it
// (leading white space, signs, hexadecimal, inf and nan included).
inline bool IsNumber(const CString& field) {
  const std::string_view text = field.View();
  const char* const last = text.data() + text.size();
  double value = 0.0;
  const auto result = std::from_chars(text.data(), last, value);
  if (result.ec != std::errc::invalid_argument && result.ptr == last) return true;
  // The rare forms from_chars does not take go the slow way.
  const char* const begin = field.GetString();
  char* end = nullptr;
  std::strtod(begin, &end);
  if (end == begin) return false;
  while (end < begin + text.size() && IsSpace(*end)) ++end;
  return end == begin + text.size();
}

// Whether a field that is a number is written as a finite decimal one: an
// optional sign, digits with an optional point, an optional exponent. Not
// nan, inf, hexadecimal or a value beyond the largest double, which the
// readers take but few other programs do.
inline bool IsFiniteDecimal(const CString& field) {
  std::string_view text = field.View();
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  // from_chars takes no plus sign; "+-1" is no number at all.
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  double value = 0.0;
  const char* const last = text.data() + text.size();
  const auto result = std::from_chars(text.data(), last, value, std::chars_format::general);
  if (result.ptr != last || text.empty()) return false;
  // inf and nan come out as what they are; out of range is also what an
  // underflow to zero gives.
  return result.ec == std::errc() ? std::isfinite(value)
                                  : result.ec == std::errc::result_out_of_range &&
                                        std::isfinite(std::strtod(field.GetString(), nullptr));
}

// What a field that is no number reads as.
inline std::string ReadsAs(const CString& field) {
  return FormatDouble(std::strtod(field.GetString(), nullptr));
}

// A whole number of rows: digits, an optional plus sign and surrounding white
// space, no more than a 32-bit long holds.
inline bool IsCount(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  const std::size_t digits = i;
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
  }
  if (i == digits) return false;
  while (i < text.size() && IsSpace(text[i])) ++i;
  return i == text.size();
}

// Whether a label holds a control character (a NUL, an escape, a tab in a
// file of another separator, ...), which few programs keep as text.
inline bool HasControl(const CString& text) {
  for (const char c : text.View())
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

inline constexpr const char* kHoldsControl = " holds a control character";

// The end of a finding on a number that IsFiniteDecimal refuses.
inline std::string NotDecimal(const CString& field) {
  return " is not a finite decimal number; it reads as " + ReadsAs(field);
}

// The rows a reader takes a whole number beyond 0 to 2147483647 for: a
// 32-bit long, saturated, stored in an unsigned 32-bit count. Nothing for
// text that is no whole number.
inline std::optional<std::uint32_t> OutOfRange(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t digits = i;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    magnitude = std::min<std::int64_t>(magnitude * 10 + (text[i] - '0'), std::int64_t{1} << 31);
  if (i == digits) return std::nullopt;
  while (i < text.size() && IsSpace(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  const std::int64_t value =
      negative ? -magnitude : std::min<std::int64_t>(magnitude, std::numeric_limits<std::int32_t>::max());
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

// A text quoted for a message: visible control characters, long texts cut.
inline std::string Quote(const CString& text) {
  constexpr std::size_t kLongest = 40;
  if (text.View().size() <= kLongest) return "'" + Printable(text) + "'";
  return "'" + Printable(CString(text.View().substr(0, kLongest))) + "...'";
}

inline std::string Plural(std::uint64_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// The per-channel keywords of a section header, what their values must be and
// what a channel reads when its value is missing.
enum class ValueType { kCount, kNumber, kText, kIgnored };
struct ChannelKeyword {
  const char* name;
  ValueType type;
  const char* fill;
};
inline constexpr ChannelKeyword kChannelKeywords[] = {
    {"Samples", ValueType::kCount, "0"},
    {"Delta_X", ValueType::kNumber, "0"},
    {"X0", ValueType::kNumber, "0"},
    {"X_Dimension", ValueType::kText, "'0.0'"},
    {"X_Unit_Label", ValueType::kText, "'0.0'"},
    {"Y_Dimension", ValueType::kText, "'0.0'"},
    {"Y_Unit_Label", ValueType::kText, "'0.0'"},
    {"Date", ValueType::kIgnored, ""},
    {"Time", ValueType::kIgnored, ""},
};

inline const ChannelKeyword* FindChannelKeyword(const CString& key) {
  for (const ChannelKeyword& keyword : kChannelKeywords)
    if (Is(key, keyword.name)) return &keyword;
  return nullptr;
}

inline bool EqualNoCase(std::string_view text, const char* word) {
  std::size_t i = 0;
  for (; i < text.size() && word[i] != '\0'; ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (fold(text[i]) != fold(word[i])) return false;
  }
  return i == text.size() && word[i] == '\0';
}

inline std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Whether a row's first field is a keyword that opens a section header line
// (which the header reader would find after trimming the line).
inline bool IsSectionKeyword(const CString& field) {
  const std::string_view text = Trimmed(field.View());
  if (EqualNoCase(text, "Channels") || EqualNoCase(text, CQTXGeneral::lpszEndOfHeader) ||
      EqualNoCase(text, CQTXGeneral::lpszStartSpecial) || EqualNoCase(text, CQTXGeneral::lpszEndSpecial))
    return true;
  for (const ChannelKeyword& keyword : kChannelKeywords)
    if (EqualNoCase(text, keyword.name)) return true;
  return false;
}

}  // namespace qtx::tool::validate

#endif  // QTX_TOOLS_VALIDATE_FIELDS_H

// Number conversions of the QTX readers.
//
// Every reader converts fields with these, so they all follow one rule: that of
// the C runtime's atof, atoi and atol in the C locale on a platform whose int
// and long are 32 bits wide. Nothing is validated; text that does not convert
// gives 0. Decimal and hexadecimal floating text goes through std::from_chars,
// which rounds exactly as strtod does; the plain decimal spelling of data
// rows has a faster exact path of its own, ReadPlainDecimal.
#ifndef QTX_TEXTIO_CONVERT_H
#define QTX_TEXTIO_CONVERT_H

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

namespace qtx::textio {

// The C locale's isspace set.
constexpr bool IsCSpace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

namespace detail {

constexpr bool IsHexDigit(char c) noexcept {
  return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

// For text [p, end) that from_chars matched whole and found out of range:
// true when its magnitude is above the largest double, false when below the
// smallest. Only the matched text counts: what follows it may look like an
// exponent without belonging to the number. Out-of-range text
// is hundreds of decimal orders away from 1, so the order of the first
// significant digit plus the exponent decides it safely.
inline bool IsOverflow(const char* p, const char* end, bool hex) noexcept {
  auto isDigit = [hex](char c) { return hex ? IsHexDigit(c) : (c >= '0' && c <= '9'); };
  long long order = 0;  // position of the first significant digit, in digits
  bool seenSignificant = false;
  long long intDigits = 0;
  for (; p != end && isDigit(*p); ++p) {
    if (*p != '0') seenSignificant = true;
    if (seenSignificant) ++intDigits;
  }
  if (seenSignificant) {
    order = intDigits - 1;
  } else if (p != end && *p == '.') {
    long long zeros = 0;
    for (++p; p != end && *p == '0'; ++p) ++zeros;
    order = -(zeros + 1);
  }
  while (p != end && (isDigit(*p) || *p == '.')) ++p;
  long long exponent = 0;
  if (p != end && ((*p | 0x20) == (hex ? 'p' : 'e'))) {
    ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    for (; p != end && *p >= '0' && *p <= '9'; ++p)
      if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
    if (negative) exponent = -exponent;
  }
  // Hex digits are 4 bits each and the exponent is binary.
  const long long magnitude = hex ? order * 4 + exponent : order + exponent;
  return magnitude > 0;
}

// The end of the hexadecimal floating text at `first` (after "0x"): digits,
// an optional point and digits, and a binary exponent only when a digit
// follows its sign. from_chars is handed exactly this text, since the
// standard library's hex parser takes an exponent such as "p+-2" that strtod
// refuses.
inline const char* HexNumberEnd(const char* first, const char* end) noexcept {
  const char* p = first;
  while (p != end && IsHexDigit(*p)) ++p;
  if (p != end && *p == '.')
    for (++p; p != end && IsHexDigit(*p);) ++p;
  if (p == end || (*p | 0x20) != 'p') return p;
  const char* exponent = p + 1;
  if (exponent != end && (*exponent == '+' || *exponent == '-')) ++exponent;
  if (exponent == end || *exponent < '0' || *exponent > '9') return p;
  while (exponent != end && *exponent >= '0' && *exponent <= '9') ++exponent;
  return exponent;
}

// strtod keeps the text between the parentheses of "nan(...)" as the NaN's
// payload, when that text is a whole number as strtoull reads it with base 0
// (decimal; octal after a '0'; hexadecimal after "0x"): its low 51 bits go
// into the mantissa below the quiet bit. `text` starts at the "nan" that
// from_chars matched and `matchEnd` is the end of its match; anything else
// gives the plain quiet NaN. Rare, so kept out of line: inlined into a
// caller's constant text, g++ warns of reads on paths that never run.
[[gnu::cold, gnu::noinline]] inline double NanOf(const char* text, const char* matchEnd) noexcept {
  double nan = std::numeric_limits<double>::quiet_NaN();
  const char* p = text + 3;
  if (matchEnd - p < 2 || *p != '(' || matchEnd[-1] != ')') return nan;
  const char* const close = matchEnd - 1;
  unsigned base = 10;
  if (++p != close && *p == '0') {
    base = 8;
    if (close - p > 2 && (p[1] | 0x20) == 'x' && IsHexDigit(p[2])) {
      base = 16;
      p += 2;
    }
  }
  std::uint64_t number = 0;
  bool saturated = false;
  for (; p != close; ++p) {
    const unsigned c = static_cast<unsigned char>(*p);
    const unsigned digit = c - '0' < 10 ? c - '0' : (c | 0x20) - 'a' < 6 ? (c | 0x20) - 'a' + 10 : 16;
    if (digit >= base) return nan;  // not the whole text: no payload
    if (number > (UINT64_MAX - digit) / base) saturated = true;
    number = number * base + digit;
  }
  if (saturated) number = UINT64_MAX;  // strtoull's ULLONG_MAX
  std::uint64_t bits;
  std::memcpy(&bits, &nan, sizeof bits);
  bits |= number & ((std::uint64_t{1} << 51) - 1);
  std::memcpy(&nan, &bits, sizeof nan);
  return nan;
}

// Powers of ten that a double holds exactly: 10^22 is the last, 5^22 < 2^53.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

inline unsigned DigitValue(char c) noexcept {
  return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0';
}

}  // namespace detail

// atof: leading white space, optional sign, then decimal or hexadecimal
// floating text, inf or nan (with its payload); stops at the first character
// that does not belong; 0.0 when nothing converts; +-HUGE_VAL on overflow,
// +-0 on underflow.
inline double Atof(std::string_view text) noexcept {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end && IsCSpace(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  // from_chars takes a '-' of its own; a second sign never converts.
  if (p == end || *p == '+' || *p == '-') return 0.0;

  const bool hex = end - p > 2 && p[0] == '0' && (p[1] | 0x20) == 'x' &&
                   (detail::IsHexDigit(p[2]) || (p[2] == '.' && end - p > 3 && detail::IsHexDigit(p[3])));
  const char* const first = hex ? p + 2 : p;
  double value = 0.0;
  const auto result = hex ? std::from_chars(first, detail::HexNumberEnd(first, end), value, std::chars_format::hex)
                          : std::from_chars(first, end, value, std::chars_format::general);
  if (result.ec == std::errc::invalid_argument) return 0.0;
  if (result.ec == std::errc::result_out_of_range)
    value = detail::IsOverflow(first, result.ptr, hex) ? std::numeric_limits<double>::infinity() : 0.0;
  if (std::isnan(value)) value = detail::NanOf(first, result.ptr);  // from_chars drops a NaN's payload
  return negative ? -value : value;
}

// How many bytes from the end of its text on ReadPlainDecimal may read: it
// looks ahead for long numbers.
constexpr std::size_t kPlainDecimalLookAhead = 19;

namespace detail {

// True when the 8 bytes at `p` are all decimal digits.
inline bool AreEightDigits(const char* p) noexcept {
  std::uint64_t bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  // Per byte: the high nibble is 3, and adding 6 keeps it 3 (no carry from
  // a low nibble above 9).
  constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0u;
  return ((bytes & kHigh) | (((bytes + 0x0606060606060606u) & kHigh) >> 4)) == 0x3333333333333333u;
}

// Plain decimal text at `start`, read by from_chars, which reads it as strtod
// does, save for values out of range.
[[gnu::noinline]] inline const char* PlainDecimalInGeneral(const char* start, const char* end,
                                                           double& value) noexcept {
  const auto result = std::from_chars(start, end, value);
  if (result.ec == std::errc::result_out_of_range)
    value = Atof(std::string_view(start, static_cast<std::size_t>(result.ptr - start)));
  return result.ec == std::errc::invalid_argument ? nullptr : result.ptr;
}

}  // namespace detail

// The plain decimal spelling [-]digits[.digits][(e|E)[+-]digits] of data
// rows, read at `p` with strtod's result. Some character that cannot
// continue the number (a separator, a line end, a terminating NUL) must
// follow it before `end` or at it, and the kPlainDecimalLookAhead bytes from
// `end` on must be readable. Returns the end of the number and stores its
// value, or returns nullptr, `value` untouched, when the text at `p` is not
// of that spelling (no digit, '+', white space, inf, nan, hex).
//
// Most numbers take an exact fast path: at most 19 digits make the integer
// mantissa M, and when M <= 2^53 and the decimal exponent E lies within +-22,
// M and 10^|E| are both exact doubles, so one multiplication or division by
// 10^|E| rounds once, correctly, as strtod does. Multiplying by the inexact
// 10^-|E| instead would round twice. A mantissa above 2^53 is no exact
// double ("28594126890.407102e-3"): such numbers, those of more digits and
// those of larger exponents go to from_chars.
inline const char* ReadPlainDecimal(const char* p, const char* end, double& value) noexcept {
  using detail::DigitValue;
  const char* const start = p;
  // The sign is added last as a bit, without a branch: data rows mix signs at
  // random, which no branch predictor learns.
  const std::uint64_t negative = *p == '-';
  p += negative;
  if (DigitValue(*p) >= 10 && *p != '.') return nullptr;
  // Digits throughout characters 10 to 17 mean 17 digits or more, a mantissa
  // above 2^53 (or a long exponent): from_chars reads those at once rather
  // than after the digits were gone through in vain.
  if (detail::AreEightDigits(p + 10)) return detail::PlainDecimalInGeneral(start, end, value);
  std::uint64_t mantissa = 0;  // wraps beyond 19 digits, and is then not used
  const char* const digits = p;
  for (unsigned d; (d = DigitValue(*p)) < 10; ++p) mantissa = mantissa * 10 + d;
  std::ptrdiff_t count = p - digits;
  std::ptrdiff_t exponent = 0;
  if (*p == '.') {
    const char* const fraction = ++p;
    for (unsigned d; (d = DigitValue(*p)) < 10; ++p) mantissa = mantissa * 10 + d;
    exponent = fraction - p;
    count -= exponent;
  }
  if (count == 0) return nullptr;
  // An exponent counts only with a digit: "1e" and "1e+" end before the 'e'.
  if ((*p | 0x20) == 'e') {
    const char* q = p + 1;
    const bool negativeExponent = *q == '-';
    q += negativeExponent || *q == '+';
    if (DigitValue(*q) < 10) {
      std::ptrdiff_t e = 0;
      for (unsigned d; (d = DigitValue(*q)) < 10; ++q)
        if (e < 100000) e = e * 10 + d;  // far beyond any exponent that converts here
      exponent += negativeExponent ? -e : e;
      p = q;
    }
  }
  if (count > 19 || mantissa > (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22)
    return detail::PlainDecimalInGeneral(start, end, value);
  // One of the two operations is by 10^0 and exact, so the result is rounded
  // once; doing both spares a branch on the exponent's sign.
  const double magnitude = static_cast<double>(mantissa) *
                           detail::kExactPowersOfTen[exponent > 0 ? exponent : 0] /
                           detail::kExactPowersOfTen[exponent < 0 ? -exponent : 0];
  std::uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  bits |= negative << 63;
  std::memcpy(&value, &bits, sizeof value);
  return p;
}

// atof in the C library's current locale, through strtod itself: for a
// locale whose decimal point is not '.', where Atof would read "0,5" as 0.
// Text that does not convert gives +0.0 as in Atof, also where the C
// runtime's strtod keeps the sign ("-x" gives -0.0 with MinGW-w64's).
inline double AtofInCurrentLocale(std::string_view text) {
  const auto convert = [](const char* c) {
    char* end = nullptr;
    const double value = std::strtod(c, &end);
    return end == c ? 0.0 : value;
  };
  char small[128];
  if (text.size() < sizeof small) {
    text.copy(small, text.size());
    small[text.size()] = '\0';
    return convert(small);
  }
  const std::string copy(text);
  return convert(copy.c_str());
}

// Converts decimal fields as atof does under the locale in force when the
// converter was made: through Atof when the decimal point is '.', as in the C
// locale, and through strtod otherwise. A reader makes one per operation, so
// the locale is looked up once and not once per field.
class DecimalConverter {
 public:
  DecimalConverter() noexcept {
    const char* point = std::localeconv()->decimal_point;
    m_dotDecimalPoint = point && point[0] == '.' && point[1] == '\0';
  }
  double operator()(std::string_view text) const {
    return m_dotDecimalPoint ? Atof(text) : AtofInCurrentLocale(text);
  }

 private:
  bool m_dotDecimalPoint;
};

// atol/atoi: leading white space, optional sign, decimal digits; saturates at
// the limits of a 32-bit long; 0 when nothing converts.
inline std::int32_t Atol(std::string_view text) noexcept {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p != end && IsCSpace(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; p != end && *p >= '0' && *p <= '9'; ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > kLimit) magnitude = kLimit;  // saturated; keeps the product in range
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);  // -2^31 fits
  return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::max()
                             : static_cast<std::int32_t>(magnitude);
}

inline int Atoi(std::string_view text) noexcept { return static_cast<int>(Atol(text)); }

// A 32-bit unsigned member stores a long as the C conversion does: modulo 2^32,
// so "-1" Samples becomes 4294967295.
inline std::uint32_t ToUInt32(std::int32_t value) noexcept { return static_cast<std::uint32_t>(value); }

}  // namespace qtx::textio

#endif  // QTX_TEXTIO_CONVERT_H

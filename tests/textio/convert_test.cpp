// Number conversions: Atof must give exactly what strtod gives in the C locale,
// Atol/Atoi what strtol gives clamped to 32 bits. Where C runtimes differ
// (the sign of the zero for text that does not convert), the reference is
// the C standard's: +0.0.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/Strtod.h"
#include "support/DoubleBits.h"
#include "textio/Convert.h"

namespace {

using qtx::test::Strtod;
using qtx::textio::Atof;
using qtx::textio::Atoi;
using qtx::textio::Atol;

using qtx::test::Bits;
using qtx::test::Hex;

// The bits must agree, a NaN's sign and payload included.
testing::AssertionResult AtofMatchesStrtod(const std::string& text) {
  const double got = Atof(text);
  const double want = Strtod(text.c_str());
  if (Bits(got) == Bits(want)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << '"' << text << "\": Atof gives " << Hex(got) << ", strtod " << Hex(want);
}

// strtol as it behaves where long is 32 bits wide.
std::int32_t Strtol32(const std::string& text) {
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

TEST(Atof, MatchesStrtodBitForBit) {
  const std::string zeros(400, '0');
  const std::string cases[] = {
      "", " ", "abc", "x1", "0", "-0", "+0", "1", "-1", "+1.5", "+-5", "-+5", "--5", "- 5", "+", "-",
      " \t\n\v\f\r42", "3.14159", "-2.5e-3", "1e10", "1E+10", "1e", "1e+", "1e-", "1ee5", ".5", "5.", ".", "-.",
      "-.e1", "12abc", "1 2", "1,5", "0.1", "0.30000000000000004", "9007199254740993",
      "9007199254740993.0000000000000000001", "2.2250738585072011e-308", "1.7976931348623157e308",
      "1.7976931348623159e308", "1e400", "-1e400", "1e-400", "-1e-400", "4.9e-324", "-4.9e-324", "2.4e-324",
      "2.5e-324", "1e-310", "0e999", "-0e-999", "0.0e500",
      // Hexadecimal floating text.
      "0x1p3", "0X1P3", "0x.8p1", "0x", "0X", "0xg", "0x.", "0x.p1", "-0x10", "+0xff", "0x1.8", "0xAbC.dEp-2",
      "-0x.", "-0x.p1", "0x1p", "0x1p+", "0x1p-", "0x1p++3", "0x1p--3", "0x1p-+3", "0x-1", "-0x", "0x 1",
      "0x1p-1074", "0x1p-1075", "0x1.8p-1075", "0x1p-1080", "0x1p1023", "0x1p1024", "-0x1p1024",
      "0x1.00000000000008p0", "0x1.000000000000081p0", "0x1.00000000000018p0", "0x1.fffffffffffff8p1023",
      // Infinities and NaNs.
      "inf", "-inf", "+INF", "INFINITY", "-Infinity", "infinit", "infx", "in", "nan", "-nan", "+NaN", "NAN",
      "nan(123)", "-nan(abc)", "nan(", "na",
      // A NaN's payload, as strtoull reads it with base 0, in the low 51 bits.
      "nan(0x7b)", "-nan(5)", "NAN(0173)", "nan(08)", "nan()", "nan(0x)", "nan(0xg)", "nan(1_2)", "nan(-1)",
      "nan(0x7ffffffffffff)", "nan(0x8000000000000)", "nan(0xfffffffffffffffff)", "nan(99999999999999999999)",
      "nan(123", " -nan(7)x",
      // Long digit strings.
      std::string(400, '9'), "-" + std::string(400, '7'), "0." + zeros + "1", "1" + zeros + "e-400",
      "0." + zeros + "1e401", zeros + "5", "0x" + std::string(300, 'f'), "0x1" + std::string(300, '0') + "p-1200",
      "0x0." + std::string(300, '0') + "1p1200", "1e-99999999999999999999", "1e99999999999999999999",
      "0x1p99999999999999999999",
      // Out of range, and followed by text that only looks like part of it.
      std::string(400, '9') + ".5.5e-9999", "0." + zeros + "1.5e+9999", "0x1p99999.5p-99999999",
  };
  for (const std::string& text : cases) EXPECT_TRUE(AtofMatchesStrtod(text));
}

// A binary exponent takes one sign at most: in "0x1p+-3" the "p" and what
// follows do not convert, so the value is 1.
TEST(Atof, HexExponentWithTwoSignsDoesNotConvert) {
  for (const char* text : {"0x1p+-3", "0xcP+-5", "-0x1.8p+-1075", "0x1p+-"}) EXPECT_TRUE(AtofMatchesStrtod(text));
}

// Random text: plain strings over the characters of numbers, and strings
// assembled from the parts of a number, each part right, wrong or missing, so
// that signs, prefixes and exponents meet in every combination.
TEST(Atof, RandomTextMatchesStrtodAndStrtol) {
  const std::string alphabet = "0123456789+-.eEpPxXabcdfinINFtyAN \t";
  const std::vector<std::vector<const char*>> parts = {
      {"", " ", "\t "},
      {"", "+", "-", "+-"},
      {"", "0x", "0X"},
      {"", "1", "0", "9", "ab", "f.8", "1.5", ".", "00", "inf", "nan", "INFINITY", "2147483648"},
      {"", "e", "E", "p", "P"},
      {"", "+", "-", "+-", "-+"},
      {"", "3", "308", "1075", "400", "-"},
      {"", "x", " 1", "y", "e1"},
  };
  std::mt19937 rng(20240607);
  int failures = 0;
  for (int i = 0; i < 6000 && failures < 10; ++i) {
    std::string text;
    if (i % 2 == 0) {
      for (unsigned k = rng() % 12; k > 0; --k) text += alphabet[rng() % alphabet.size()];
    } else {
      for (const auto& choices : parts) text += choices[rng() % choices.size()];
    }
    const testing::AssertionResult same = AtofMatchesStrtod(text);
    EXPECT_TRUE(same);
    EXPECT_EQ(Atol(text), Strtol32(text)) << '"' << text << '"';
    failures += same ? 0 : 1;
  }
}

TEST(Atol, ConvertsAPrefixAndSaturatesAt32Bits) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"123", 123}, {" \t\n\v\f\r-42x", -42}, {"+7", 7}, {"+-1", 0}, {"- 1", 0}, {"", 0}, {"abc", 0},
      {"12 34", 12}, {"1e5", 1}, {"3.9", 3}, {"0x10", 0}, {"000000000000000000000012", 12},
      {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX}, {"99999999999", INT32_MAX},
      {"99999999999999999999999999999", INT32_MAX}, {"-2147483647", -2147483647}, {"-2147483648", INT32_MIN},
      {"-2147483649", INT32_MIN}, {"-99999999999", INT32_MIN},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(Atol(text), value) << '"' << text << '"';
    EXPECT_EQ(Atoi(text), static_cast<int>(value)) << '"' << text << '"';
  }
  EXPECT_EQ(qtx::textio::ToUInt32(Atol("-1")), 4294967295u);
  EXPECT_EQ(qtx::textio::ToUInt32(Atol("-2147483648")), 2147483648u);
}

TEST(Convert, IsCSpaceIsTheCLocaleSet) {
  for (int c = 0; c < 256; ++c)
    EXPECT_EQ(qtx::textio::IsCSpace(static_cast<char>(c)), std::isspace(c) != 0) << c;
}

}  // namespace

namespace {

// Sets LC_NUMERIC for the life of the object and restores it after.
class NumericLocale {
 public:
  explicit NumericLocale(const char* name) : m_previous(std::setlocale(LC_NUMERIC, nullptr)) {
    m_set = std::setlocale(LC_NUMERIC, name) != nullptr;
  }
  ~NumericLocale() { std::setlocale(LC_NUMERIC, m_previous.c_str()); }
  bool IsSet() const { return m_set; }

 private:
  std::string m_previous;
  bool m_set = false;
};

TEST(DecimalConverter, FollowsTheCLocaleThroughTheFastPath) {
  const qtx::textio::DecimalConverter atof;
  for (const char* text :
       {" \t-1.5e3", "+.5", "0x1.8p1", "1e400", "-1e-400", "2.2250738585072011e-308", "nan", "12abc", "", "-",
        "4.9406564584124654e-324", "179769313486231580793728971405301e276"})
    EXPECT_EQ(Bits(atof(text)), Bits(Strtod(text))) << text;
}

// A locale with a decimal comma: an installed one, or one compiled for the
// test when the machine has the locale sources but no compiled locale.
const char* DecimalCommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252"})
    if (NumericLocale(name).IsSet()) return name;
#ifdef _WIN32
  return nullptr;
#else
  const char* tmp = std::getenv("TMPDIR");
  static const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/qtx-test-locales";
  const std::string command = "mkdir -p " + dir + " && localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return nullptr;
  ::setenv("LOCPATH", dir.c_str(), 1);
  return NumericLocale("de_DE.UTF-8").IsSet() ? "de_DE.UTF-8" : nullptr;
#endif
}

TEST(DecimalConverter, UsesTheDecimalPointOfTheCurrentLocale) {
  // A host that set a locale with a decimal comma reads "0,5" as atof does.
  if (const char* name = DecimalCommaLocale()) {
    NumericLocale locale(name);
    const qtx::textio::DecimalConverter atof;
    EXPECT_EQ(atof("0,5"), 0.5);
    EXPECT_EQ(atof("2.5"), 2.0);
    EXPECT_EQ(Bits(atof("-x")), Bits(0.0));  // the same bits as the C locale's
    EXPECT_EQ(atof(std::string(200, '1') + ",5e-199"),
              std::strtod((std::string(200, '1') + ",5e-199").c_str(), nullptr));
    return;
  }
  GTEST_SKIP() << "no locale with a decimal comma is installed";
}

}  // namespace

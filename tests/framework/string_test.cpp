// CString: construction, case-blind comparison and white-space trimming.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "qtx/Framework.h"

namespace {

TEST(CString, BuildsFromTextAndStdString) {
  const CString empty, null(static_cast<const char*>(nullptr));
  EXPECT_TRUE(empty.IsEmpty() && null.IsEmpty());
  EXPECT_EQ(empty.GetLength(), 0);
  EXPECT_STREQ(empty.GetString(), "");
  CString s = "Sample";
  const char* implicit = s;
  EXPECT_EQ(s.GetLength(), 6);
  EXPECT_STREQ(implicit, "Sample");
  EXPECT_TRUE(s == "Sample" && "Sample" == s && s != "sample");
  s = std::string("from std");
  EXPECT_EQ(s, CString("from std"));
  s = "again";
  EXPECT_STREQ(s.GetString(), "again");
  // Bytes after an embedded NUL belong to the string and take part in ==.
  const CString withNul(std::string("a\0b", 3));
  EXPECT_EQ(withNul.GetLength(), 3);
  EXPECT_EQ(std::memcmp(withNul.GetString(), "a\0b", 4), 0);
  EXPECT_NE(withNul, CString("a"));
}

TEST(CString, CompareNoCaseIgnoresAsciiCaseOnly) {
  struct Case {
    const char* a;
    const char* b;
    int sign;  // of a.CompareNoCase(b)
  };
  const Case cases[] = {
      {"", "", 0}, {"abc", "abc", 0}, {"ChAnNeL", "cHaNnEl", 0}, {"X_1", "x_1", 0}, {"abc", "abd", -1},
      {"ABD", "abc", 1}, {"ab", "abc", -1}, {"abc", "AB", 1}, {"", "a", -1}, {"a", "", 1}, {"B", "a", 1},
      // Only A-Z fold: '[' and '{', '@' and '`' differ by the case bit but are no letters.
      {"[", "{", -1}, {"@", "`", -1}, {"\xC9", "\xE9", -1}, {"a\x80", "A\x7F", 1},
  };
  for (const Case& c : cases) {
    const int got = CString(c.a).CompareNoCase(c.b);
    const int viaCString = CString(c.a).CompareNoCase(CString(c.b));
    EXPECT_EQ((got > 0) - (got < 0), c.sign) << '"' << c.a << "\" vs \"" << c.b << '"';
    EXPECT_EQ((viaCString > 0) - (viaCString < 0), c.sign) << '"' << c.a << "\" vs \"" << c.b << '"';
  }
}

// A CString holds any bytes, so a CString argument is compared whole.
TEST(CString, CompareNoCaseSeesPastEmbeddedNul) {
  const CString withNul(std::string("a\0b", 3));
  EXPECT_EQ(withNul.CompareNoCase(CString(std::string("A\0B", 3))), 0);
  EXPECT_NE(CString("a").CompareNoCase(withNul), 0);
}

TEST(CString, TrimDropsCSpaceAtBothEndsOnly) {
  const std::string nul("\0x\0", 3);
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"plain", "plain"}, {"  two words  ", "two words"}, {" \t\n\v\f\rx\r\f\v\n\t ", "x"},
      {"a \t\r\n b", "a \t\r\n b"}, {" \t\n\v\f\r", ""},
      {"\xA0x\xA0", "\xA0x\xA0"},  // no-break space is not C white space,
      {nul, nul}, {"\x1cx\x1f", "\x1cx\x1f"},  // nor are NUL and the separators
  };
  for (const auto& [in, out] : cases) {
    CString s(in);
    EXPECT_EQ(&s.Trim(), &s);
    EXPECT_EQ(s.Str(), out) << "input of length " << in.size();
  }
}

}  // namespace

// Splitting lines into fields: CTokenizer and the NextField function under it.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "qtx/Tokenizer.h"
#include "textio/FieldSplitter.h"

namespace {

struct SplitCase {
  const char* line;
  const char* delimiters;
  std::vector<std::string> fields;
};

// Several delimiter characters are a set of single delimiters, never a sequence.
const SplitCase kSplitCases[] = {
    {"a\tb\tc", "\t", {"a", "b", "c"}}, {"a,,,b", ",", {"a", "b"}}, {",,lead,trail,,", ",", {"lead", "trail"}},
    {"", ",", {}}, {",,,", ",", {}}, {"one field", ",", {"one field"}}, {"  x  y ", " ", {"x", "y"}},
    {"a;b,c", ",;", {"a", "b", "c"}}, {";,a,;;b;,", ",;", {"a", "b"}}, {"a,;b", ";,", {"a", "b"}},
    {" \t ", "\t ", {}}, {"", "\t ", {}}, {"x\t y", "\t ", {"x", "y"}}, {"k=v", "=,", {"k", "v"}},
};

std::string Describe(const SplitCase& c) { return std::string("\"") + c.line + "\" split at \"" + c.delimiters + '"'; }

TEST(Tokenizer, YieldsTheNonEmptyFieldsInOrder) {
  for (const SplitCase& c : kSplitCases) {
    const CString line(c.line);
    const CString delimiters(c.delimiters);
    CTokenizer tokenizer(line, delimiters);
    std::vector<std::string> fields;
    CString token;
    while (tokenizer.Next(token) && fields.size() < 10) fields.push_back(token.Str());
    EXPECT_EQ(fields, c.fields) << Describe(c);
  }
}

TEST(Tokenizer, FailedNextLeavesTokenEmpty) {
  const CString line("a,b"), onlyDelimiters(",,"), comma(",");
  CTokenizer tokenizer(line, comma), empty(onlyDelimiters, comma);
  CString token;
  ASSERT_TRUE(tokenizer.Next(token) && tokenizer.Next(token));
  EXPECT_EQ(token, "b");
  for (CTokenizer* t : {&tokenizer, &tokenizer, &empty}) {
    token = "stale";
    EXPECT_FALSE(t->Next(token));
    EXPECT_TRUE(token.IsEmpty());
  }
}

TEST(FieldSplitter, NextFieldSplitsLikeTheTokenizer) {
  for (const SplitCase& c : kSplitCases) {
    const std::string_view line(c.line);
    std::size_t pos = 0;
    std::string_view field;
    std::vector<std::string> fields;
    while (qtx::textio::NextField(line, c.delimiters, pos, field) && fields.size() < 10) {
      // The field is a view into the line, and pos has moved just past it.
      EXPECT_EQ(field.data() + field.size(), line.data() + pos) << Describe(c);
      fields.emplace_back(field);
    }
    EXPECT_EQ(fields, c.fields) << Describe(c);
    EXPECT_EQ(pos, line.size()) << Describe(c);
  }
}

}  // namespace

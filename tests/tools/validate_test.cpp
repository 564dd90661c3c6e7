// qtx validate on small files, each showing one kind of problem: the
// findings with their line numbers and the exit code. Every file is also
// checked with CR LF line ends, which must change nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempFile.h"
#include "tools/RunQtx.h"

namespace {

using qtx::test::RunQtx;
using qtx::test::TempFile;

// The main header of most files below: mode One, tab separator.
#define MAIN_HEADER            \
  "Quorset Measurement\n"   /* 1 */ \
  "X_Columns\tOne\n"        /* 2 */ \
  "***End_of_Header***\n"   /* 3 */

struct Case {
  const char* name;
  std::string text;
  // "LINE: message" for each finding; none for a clean file.
  std::vector<std::string> findings;
};

void ExpectFindings(const Case& c) {
  for (const bool crlf : {false, true}) {
    const TempFile file(crlf ? qtx::test::WithCrLf(c.text) : c.text);
    const qtx::test::ToolRun run = RunQtx("validate " + file.Path());
    std::string expected;
    for (const std::string& finding : c.findings) expected += file.Path() + ":" + finding + "\n";
    if (c.findings.empty()) expected = file.Path() + ": no problems found\n";
    EXPECT_EQ(run.out, expected) << c.name << (crlf ? " (CR LF)" : "");
    EXPECT_EQ(run.exitCode, c.findings.empty() ? 0 : 1) << c.name;
  }
}

TEST(ToolValidate, CleanFiles) {
  const Case cases[] = {
      {"mode No, no X_Columns line",
       "Quorset Measurement\n"       // 1
       "***End_of_Header***\n"       // 2
       "Channels\t2\n"               // 3
       "Samples\t\t2\t\t2\n"         // 4
       "X0\t\t0\t\t0\n"              // 5
       "Delta_X\t\t0.5\t\t0.5\n"     // 6
       "***End_of_Header***\n"       // 7
       "A\tB\tComment\n"             // 8  no X heading in mode No
       "1\t2\n"                      // 9
       "3\t4\n",                     // 10
       {}},
      {"mode Multi, commas, two sections, a special block",
       "Quorset Measurement\n"       // 1
       "Separator\tComma\n"          // 2  split at the tab; commas from here on
       "X_Columns,Multi\n"           // 3
       "***End_of_Header***\n"       // 4
       "\n"                          // 5  blank lines may stand in a section header
       "Channels,1\n"                // 6
       "Samples,,2\n"                // 7
       "***Start_Special***\n"       // 8
       "Anything,at all\n"           // 9
       "***End_Special***\n"         // 10
       "***End_of_Header***\n"       // 11
       "t,A,Comment\n"               // 12
       "0,+1.5,a note\n"             // 13 fields after those the mode needs are not read
       "0.25, 2e3\n"                 // 14 a leading space: a number to atof
       "\n"                          // 15
       "Channels,1\n"                // 16
       "Samples,,1\n"                // 17
       "***End_of_Header***\n"       // 18
       "t,B\n"                       // 19
       "-1,2.5\n",                   // 20
       {}},
  };
  for (const Case& c : cases) ExpectFindings(c);
}

TEST(ToolValidate, MainHeader) {
  const Case cases[] = {
      {"keywords and values",
       "Writer_Version\tdraft\n"     // 1  no magic line anywhere
       "Separator\n"                 // 2
       "X_Columns\tTwo\n"            // 3
       "Multi_Headings\t1\n"         // 4
       " Time_Pref\tRelative\n"      // 5  main header lines are not trimmed
       "Channels\t1\n"               // 6  a section keyword before the end line
       "***End_of_Header***\n",      // 7
       {"1: no 'Quorset Measurement' line in the main header",
        "1: Writer_Version value 'draft' is not a number; it reads as 0",
        "2: Separator has no value; the line is ignored",
        "3: X_Columns value 'Two' is not No, One or Multi; the line is ignored",
        "4: Multi_Headings value '1' is neither Yes nor No; it reads as No",
        "5: unknown keyword ' Time_Pref' in the main header; the line is ignored",
        "6: unknown keyword 'Channels' in the main header; the line is ignored"}},
      {"no end line",
       "Quorset Measurement\n"       // 1
       "X_Columns\tOne\n",           // 2
       {"2: the file ends before the main header's ***End_of_Header*** line; a reader finds no sections"}},
      {"empty file",
       "",
       {"1: no 'Quorset Measurement' line in the main header",
        "1: the file ends before the main header's ***End_of_Header*** line; a reader finds no sections"}},
  };
  for (const Case& c : cases) ExpectFindings(c);
}

TEST(ToolValidate, SectionHeader) {
  const Case cases[] = {
      {"keywords and per-channel values",
       MAIN_HEADER
       "Samples\t4\n"                // 4  before Channels
       "Channels\t2\n"               // 5
       "Samples\t\t2\t\tmany\n"      // 6
       "X0\t\t0\n"                   // 7  one value for two channels
       "Delta_X\t\t1\t\tfast\n"      // 8
       "Y_Unit_Label\n"              // 9
       "Gain\t\t2\t\t3\n"            // 10
       "***End_Special***\n"         // 11 outside a block: passed over, harmless
       "***End_of_Header***\n"       // 12
       "t\tA\tB\n"                   // 13
       "0\t1\t2\n"                   // 14
       "1\t3\t4\n",                  // 15
       {"4: Samples before the section's Channels line is ignored",
        "6: Samples value 'many' for channel 1 is not a whole number of rows",
        "7: X0 has 1 value for 2 channels; channel 1 reads 0",
        "8: Delta_X value 'fast' for channel 1 is not a number; it reads as 0",
        "9: Y_Unit_Label has no values; the 2 channels read fill values",
        "10: unknown keyword 'Gain' in a section header; the line is ignored"}},
      {"no Samples line",
       MAIN_HEADER
       "Channels\t1\n"               // 4
       "***End_of_Header***\n"       // 5
       "t\tA\n"                      // 6
       "0\t1\n"                      // 7  read as header lines, passed over
       "1\t2\n",                     // 8
       {"4: section 0 has no Samples line; a reader takes it to have no rows",
        "7: 2 more lines of numbers after the 0 rows section 0 declares (Samples); a reader passes over them"}},
      {"two Channels lines",
       MAIN_HEADER
       "Channels\t1\n"               // 4
       "Samples\t3\n"                // 5
       "Channels\t2\n"               // 6
       "Samples\t\t1\t\t1\n"         // 7
       "***End_of_Header***\n"       // 8
       "t\tA\tB\n"                   // 9
       "0\t1\t2\n",                  // 10
       {"6: a second Channels line in one section header: the section opened at line 4 gets no rows, and the "
        "lines from here on go to a new section"}},
      {"special block never closed",
       MAIN_HEADER
       "Channels\t1\n"               // 4
       "Samples\t2\n"                // 5
       "***Start_Special***\n"       // 6
       "***End_of_Header***\n"       // 7  swallowed by the block
       "t\tA\n"                      // 8
       "0\t1\n"                      // 9
       "1\t2\n",                     // 10
       {"6: ***Start_Special*** is never closed by ***End_Special***; a reader ignores every line after it",
        "7: ***End_of_Header*** inside the special block opened at line 6 is ignored; ***End_Special*** is "
        "missing before it",
        "10: the file ends inside the header of section 0, before its ***End_of_Header*** line"}},
      {"header without Channels stops the scan",
       MAIN_HEADER
       "Samples\t3\n"                // 4
       "***End_of_Header***\n"       // 5
       "Channels\t1\n"               // 6  never read
       "Samples\t1\n"                // 7
       "***End_of_Header***\n"       // 8
       "t\tA\n"                      // 9
       "0\t1\n",                     // 10
       {"4: Samples before the section's Channels line is ignored",
        "5: this ***End_of_Header*** ends a section header without a Channels line; a reader stops here and "
        "reads none of the 5 lines after it"}},
      {"file ends before the headings line",
       MAIN_HEADER
       "Channels\t1\n"               // 4
       "Samples\t1\n"                // 5
       "***End_of_Header***\n",      // 6
       {"6: the file ends before the headings line of section 0"}},
  };
  for (const Case& c : cases) ExpectFindings(c);
}

TEST(ToolValidate, SamplesAgainstRows) {
  const Case cases[] = {
      {"too few rows: the next header is read as rows",
       MAIN_HEADER
       "Channels\t1\n"               // 4
       "Samples\t5\n"                // 5  two rows follow
       "***End_of_Header***\n"       // 6
       "t\tA\n"                      // 7
       "0\t1\n"                      // 8
       "1\t2\n"                      // 9
       "\n"                          // 10 rows 2 to 4: the next header's lines
       "Channels\t1\n"               // 11
       "Samples\t1\n"                // 12
       "***End_of_Header***\n"       // 13 no Channels left in this header: the scan ends
       "t\tB\n"                      // 14
       "0\t3\n",                     // 15
       {"10: section 0 declares 5 rows (Samples) but the next section header begins here, after 2 rows; a "
        "reader reads its first 3 lines as rows",
        "11: this Channels line is read as a data row: the section it opens is lost",
        "13: this ***End_of_Header*** ends a section header without a Channels line; a reader stops here and "
        "reads none of the 2 lines after it"}},
      {"too many rows",
       MAIN_HEADER
       "Channels\t1\n"               // 4
       "Samples\t2\n"                // 5
       "***End_of_Header***\n"       // 6
       "t\tA\n"                      // 7
       "0\t1\n"                      // 8
       "1\t2\n"                      // 9
       "2\t3\n"                      // 10 beyond Samples
       "3\t4\n"                      // 11
       "\n"                          // 12
       "Channels\t1\n"               // 13
       "Samples\t1\n"                // 14
       "***End_of_Header***\n"       // 15
       "t\tB\n"                      // 16
       "0\t5\n",                     // 17
       {"10: 2 more lines of numbers after the 2 rows section 0 declares (Samples); a reader passes over them"}},
      {"file ends inside the rows",
       MAIN_HEADER
       "Channels\t1\n"               // 4
       "Samples\t5\n"                // 5
       "***End_of_Header***\n"       // 6
       "t\tA\n"                      // 7
       "0\t1\n"                      // 8
       "1\t2\n",                     // 9
       {"9: section 0 declares 5 rows (Samples) but the file ends after 2"}},
      {"an empty line among the rows, and one that stands for a missing row",
       MAIN_HEADER
       "Channels\t1\n"               // 4
       "Samples\t4\n"                // 5
       "***End_of_Header***\n"       // 6
       "t\tA\n"                      // 7
       "0\t1\n"                      // 8
       "\n"                          // 9  a row of zeros
       "2\t3\n"                      // 10
       "\n",                         // 11 the fourth row
       {"9: a line without fields among the rows reads as a row of zeros",
        "11: section 0 declares 4 rows (Samples) but only 3 stand before the end of the file; a reader takes "
        "this empty line as a row"}},
  };
  for (const Case& c : cases) ExpectFindings(c);
}

TEST(ToolValidate, HeadingsAndRows) {
  const Case cases[] = {
      {"mode One",
       MAIN_HEADER
       "Channels\t2\n"               // 4
       "Samples\t\t3\t\t3\n"         // 5
       "***End_of_Header***\n"       // 6
       "t\tA\n"                      // 7  no heading for channel 1
       "0\t1\t2\n"                   // 8
       "1\t1.5V\t2\n"                // 9  reads as 1.5
       "2\t3\n",                     // 10
       {"7: the headings line has 2 headings where X_Columns One with 2 channels needs 3",
        "9: field 2 '1.5V' is not a number; it reads as 1.5",
        "10: the row has 2 fields where X_Columns One with 2 channels needs 3; the missing values read as 0"}},
      {"mode Multi, no headings line",
       "Quorset Measurement\n"       // 1
       "X_Columns\tMulti\n"          // 2
       "***End_of_Header***\n"       // 3
       "Channels\t2\n"               // 4
       "Samples\t\t2\t\t2\n"         // 5
       "***End_of_Header***\n"       // 6
       "0\t1\t0\t2\n"                // 7  taken as the headings
       "1\tn/a\t1\n",                // 8
       {"7: the headings line holds only numbers; a reader takes it as headings, not as a row",
        "8: field 2 'n/a' is not a number; it reads as 0",
        "8: the row has 3 fields where X_Columns Multi with 2 channels needs 4; the missing values read as 0",
        "8: section 0 declares 2 rows (Samples) but the file ends after 1"}},
      {"numbers a reader takes but few other programs do",
       MAIN_HEADER
       "Channels\t2\n"               // 4
       "Samples\t\t3\t\t-3\n"        // 5
       "X0\t\t0\t\tinf\n"            // 6
       "***End_of_Header***\n"       // 7
       "t\tA\tB\n"                   // 8
       "0x1p-2\t1\t2\n"              // 9
       "1\tnan\t1e999\n"             // 10 a finding per field
       "2\t1\t-1e-999\n",            // 11 underflows to -0: still a decimal
       {"5: Samples value '-3' for channel 1 is out of range; a reader takes it for 4294967293 rows",
        "6: X0 value 'inf' for channel 1 is not a finite decimal number; it reads as inf",
        "9: field 1 '0x1p-2' is not a finite decimal number; it reads as 0.25",
        "10: field 2 'nan' is not a finite decimal number; it reads as nan",
        "10: field 3 '1e999' is not a finite decimal number; it reads as inf",
        "11: section 0 declares 4294967293 rows (Samples) but the file ends after 3"}},
      {"control characters in labels",
       MAIN_HEADER
       "Channels\t2\n"               // 4
       "Samples\t\t1\t\t1\n"         // 5
       "Y_Unit_Label\t\tV\t\tA\x1b\n"  // 6
       "***End_of_Header***\n"       // 7
       "t\tA" + std::string(1, '\0') + "B\tC\n"  // 8
       "0\t1\t2\n",                  // 9
       {"6: Y_Unit_Label value 'A\\x1b' for channel 1 holds a control character",
        "8: heading 2 'A\\x00B' holds a control character"}},
      {"an X that falls, said once",
       MAIN_HEADER
       "Channels\t1\n"               // 4
       "Samples\t\t4\n"              // 5
       "***End_of_Header***\n"       // 6
       "t\tA\n"                      // 7
       "0\t1\n2\t1\n"                // 8, 9
       "1\t1\n0\t1\n",               // 10, 11
       {"10: X falls from 2 to 1 at row 2; a lookup by X (--x, rows_between) refuses this section"}},
  };
  for (const Case& c : cases) ExpectFindings(c);
}

TEST(ToolValidate, RepeatedFindingsAreCounted) {
  std::string text = MAIN_HEADER
      "Channels\t2\n"                // 4
      "Samples\t\t11\t\t11\n"        // 5
      "***End_of_Header***\n"        // 6
      "t\tA\tB\n";                   // 7
  for (int r = 0; r < 11; ++r) text += std::to_string(r) + "\t1\n";  // 8 to 18: each one field short
  std::vector<std::string> findings;
  for (int line = 8; line < 18; ++line)
    findings.push_back(std::to_string(line) +
                       ": the row has 2 fields where X_Columns One with 2 channels needs 3; the missing values read "
                       "as 0");
  findings.push_back("18: ... and 1 more row with too few fields");  // not "1 more rows"
  ExpectFindings({"11 short rows", text, findings});
}

}  // namespace

// The text helpers every part of the host shares: trimming, case, file
// extensions, CSV fields and a program's last words.
#include "ufhost/base/text.h"

#include <gtest/gtest.h>

namespace {

using ufhost::csv_field;
using ufhost::last_line;
using ufhost::lower;
using ufhost::lower_extension;
using ufhost::trim;

TEST(Text, TrimTakesEveryKindOfBlankFromBothEndsOnly) {
  EXPECT_EQ("a b", trim(" \t\r\n\f\va b\v\f\n\r\t "));
  EXPECT_EQ("", trim(" \t\r\n"));
  EXPECT_EQ("", trim(""));
  EXPECT_EQ("x", trim("x"));
  // Bytes of UTF-8 letters are never taken for blanks.
  EXPECT_EQ("\xD0\xB0", trim("  \xD0\xB0\n"));
}

TEST(Text, LowerFoldsAsciiAndLeavesOtherBytesAlone) {
  EXPECT_EQ("part.step 12", lower("Part.STEP 12"));
  EXPECT_EQ("\xD0\x93\xD0\xB0", lower("\xD0\x93\xD0\xB0"));  // "Га" stays as it is
  EXPECT_EQ("\xC3", lower("\xC3"));
}

TEST(Text, ExtensionIsTheLastOneInLowerCase) {
  struct Case {
    const char* path;
    const char* extension;
  };
  const Case cases[] = {
      {"part.STEP", ".step"},      {"/a/b.v2/part.Stp", ".stp"}, {"archive.tar.GZ", ".gz"},
      {"/a/b.v2/part", ""},        {".hidden", ""},             {"dots.", "."},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.extension, lower_extension(c.path)) << c.path;
}

TEST(Text, JoinedPutsTheSeparatorBetweenItemsOnly) {
  EXPECT_EQ("", ufhost::joined({}, ", "));
  EXPECT_EQ("a", ufhost::joined({"a"}, ", "));
  EXPECT_EQ("a, , c", ufhost::joined({"a", "", "c"}, ", "));
}

TEST(Text, CsvFieldsAreQuotedOnlyWhenTheyMustBe) {
  EXPECT_EQ("plain text", csv_field("plain text"));
  EXPECT_EQ("", csv_field(""));
  EXPECT_EQ("\"a,b\"", csv_field("a,b"));
  EXPECT_EQ("\"say \"\"hi\"\"\"", csv_field("say \"hi\""));
  EXPECT_EQ("\"two\nlines\"", csv_field("two\nlines"));
  EXPECT_EQ("\"cr\r\"", csv_field("cr\r"));
  EXPECT_EQ("\"\"\"\"", csv_field("\""));
}

TEST(Text, LastLineIsTheLastOneWithTextWithoutTheProgramsName) {
  EXPECT_EQ("it broke", last_line("first\nufhost: it broke\r\n\n  \n"));
  EXPECT_EQ("only", last_line("only"));
  EXPECT_EQ("", last_line(""));
  EXPECT_EQ("", last_line("\n \t\n"));
  // Only a leading name is the program's.
  EXPECT_EQ("said ufhost: x", last_line("said ufhost: x"));
  EXPECT_EQ("ufhost:x", last_line("ufhost:x"));
}

}  // namespace

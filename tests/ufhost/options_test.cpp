// The table-driven command line both programs read: how options take their
// values, where the options end, what is refused, and the help written from
// the same table.
#include "ufhost/base/options.h"

#include <gtest/gtest.h>

#include "tests/support/text.h"

namespace {

using ufhost::OptionDecl;
using ufhost::ParsedArgs;

const std::vector<OptionDecl> kTable = {
    {"--jobs", "-j", "N", "run N at once"},
    {"--answer", "", "LINE", "one answer\nmore about it", /*empty_allowed=*/true},
    {"--out", "-o", "FILE", "write FILE"},
    {"--progress", "", "", "show progress"},
    {"--null", "-0", "", "names end in NUL"},
    {"--help", "-h", "", "this help", false, /*stops=*/true},
};

// "--jobs=4 x" as "--jobs=4 x": each option with the value it got, then the
// operands.
std::string parsed(const std::vector<std::string>& args) {
  ParsedArgs p;
  std::string error;
  if (!ufhost::parse_args(kTable, args, "--help", &p, &error)) return "error: " + error;
  std::string out;
  for (const auto& o : p.options) out += o.decl->name + "(" + o.written + ")=" + o.value + " ";
  for (const auto& operand : p.operands) out += "[" + operand + "] ";
  if (p.stop != nullptr) out += "stop " + p.stop->name;
  return out;
}

TEST(Options, ValuesComeApartAttachedOrAfterAnEqualsSign) {
  EXPECT_EQ("--jobs(--jobs)=4 --jobs(-j)=5 --jobs(-j)=6 --jobs(--jobs)=7 ",
            parsed({"--jobs", "4", "-j5", "-j", "6", "--jobs=7"}));
  EXPECT_EQ("--out(--out)=a=b ", parsed({"--out=a=b"}));
  EXPECT_EQ("--progress(--progress)= --null(-0)= ", parsed({"--progress", "-0"}));
}

TEST(Options, AValueIsTakenAsItComesEvenWhenItLooksLikeAnOption) {
  EXPECT_EQ("--answer(--answer)=--progress ", parsed({"--answer", "--progress"}));
  EXPECT_EQ("--out(-o)=-j ", parsed({"-o", "-j"}));
  EXPECT_EQ("--answer(--answer)= ", parsed({"--answer", ""}));  // empty allowed
  EXPECT_EQ("--answer(--answer)= ", parsed({"--answer="}));
}

TEST(Options, OperandsKeepTheirOrderAndADoubleDashEndsTheOptions) {
  EXPECT_EQ("--progress(--progress)= [a] [-] [b] [--jobs] [-x] ",
            parsed({"a", "--progress", "-", "b", "--", "--jobs", "-x"}));
  EXPECT_EQ("[--] ", parsed({"--", "--"}));
}

TEST(Options, MisusesAreRefusedWithOneLine) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"--frobnicate"}, "unknown option --frobnicate (see --help)"},
      {{"--frobnicate=3"}, "unknown option --frobnicate (see --help)"},
      {{"-x"}, "unknown option -x (see --help)"},
      {{"-0x"}, "unknown option -0x (see --help)"},  // a flag takes nothing attached
      {{"--progress=yes"}, "--progress takes no value"},
      {{"--jobs"}, "--jobs needs a value"},
      {{"a", "-j"}, "-j needs a value"},
      {{"--out="}, "--out needs a non-empty value"},
      {{"--out", ""}, "--out needs a non-empty value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    EXPECT_EQ(std::string("error: ") + c.says, parsed(c.args));
  }
}

TEST(Options, AStoppingOptionEndsTheParsingWhateverFollows) {
  EXPECT_EQ("--jobs(--jobs)=2 [a] stop --help", parsed({"--jobs", "2", "a", "-h", "--frobnicate", "-j"}));
}

TEST(Options, EachParsingStartsAfresh) {
  ParsedArgs p;
  std::string error;
  ASSERT_TRUE(ufhost::parse_args(kTable, {"-j", "3", "x", "--help"}, "", &p, &error));
  ASSERT_TRUE(ufhost::parse_args(kTable, {"y"}, "", &p, &error));
  EXPECT_TRUE(p.options.empty());
  EXPECT_EQ(std::vector<std::string>{"y"}, p.operands);
  EXPECT_EQ(nullptr, p.stop);
}

TEST(Options, HelpAlignsEveryEntryAndItsContinuations) {
  const std::vector<std::string> lines = testing_support::split_lines(ufhost::options_help(kTable));
  ASSERT_EQ(7u, lines.size());
  EXPECT_EQ("  -j N, --jobs N", lines[0].substr(0, 16));
  EXPECT_EQ("  --answer LINE", lines[1].substr(0, 15));
  const std::size_t column = lines[0].find("run N");
  ASSERT_NE(std::string::npos, column);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    ASSERT_GT(lines[i].size(), column);
    EXPECT_NE(' ', lines[i][column]);
    EXPECT_EQ(std::string(column, ' ').substr(0, 2), lines[i].substr(0, 2));
    EXPECT_EQ(' ', lines[i][column - 1]);
  }
  EXPECT_EQ(std::string(column, ' ') + "more about it", lines[2]);
}

}  // namespace

// The command lines of ufhost and ufhost measure, read from their option
// tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ufhost/app/cli/cli.h"

namespace {

using ufhost::app::Parsed;
using ufhost::app::RunOptions;

TEST(Cli, RunOptionsAsDocumented) {
  RunOptions o;
  std::string error;
  ASSERT_EQ(Parsed::Run,
            ufhost::app::parse_run_options(
                {"--answers=a.txt", "--answer", "--progress", "--answer=", "--fail", "uc1603=9@2",
                 "--view", "v.html", "--report=r.json", "--progress", "--ui", "script", "--",
                 "--odd.step"},
                &o, &error))
      << error;
  EXPECT_EQ("a.txt", o.answers_file);
  // A value is taken as it comes, even when it looks like an option or is empty.
  EXPECT_EQ((std::vector<std::string>{"--progress", ""}), o.answer_lines);
  ASSERT_EQ(1u, o.fail_rules.size());
  EXPECT_EQ("uc1603", o.fail_rules[0].operation);
  EXPECT_EQ(9, o.fail_rules[0].code);
  EXPECT_EQ(2, o.fail_rules[0].nth);
  EXPECT_EQ("v.html", o.view);
  EXPECT_EQ("r.json", o.report);
  EXPECT_EQ("script", o.ui);
  EXPECT_TRUE(o.progress);
  EXPECT_EQ("--odd.step", o.part);  // after --, an operand
  EXPECT_EQ(ufhost::app::default_syslog_path(), o.syslog);

  EXPECT_EQ(Parsed::Help, ufhost::app::parse_run_options({"-h", "--bogus"}, &o, &error));
  EXPECT_EQ(Parsed::Version, ufhost::app::parse_run_options({"--version"}, &o, &error));
}

TEST(Cli, BadRunOptionsSayWhy) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{}, "no part file given"},
      {{"a.step", "b.step"}, "one part file at a time, not 2"},
      {{"a.step", "--frobnicate"}, "unknown option --frobnicate (see ufhost --help)"},
      {{"a.step", "--save"}, "--save needs a value"},
      {{"a.step", "--save="}, "--save needs a non-empty value"},
      {{"a.step", "--help=yes"}, "--help takes no value"},
      {{"a.step", "--fail", "@2"}, "name the operation"},
      {{"a.step", "--fail", "uc1603=0"}, "non-zero whole number"},
      {{"a.step", "--answers", "a.txt", "--answers", "b.txt"}, "--answers is given twice"},
      {{"a.step", "--ui", "web"}, "--ui web: the front ends are terminal, script and browser"},
      {{"a.step", "--ui", "browser", "--answer", "menu 1"}, "not --ui browser"},
      {{"a.step", "--answers", "a.txt", "--ui=terminal"}, "not --ui terminal"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    RunOptions o;
    std::string error;
    EXPECT_EQ(Parsed::Error, ufhost::app::parse_run_options(c.args, &o, &error));
    EXPECT_NE(std::string::npos, error.find(c.says)) << error;
  }
}

// --help is written from the tables: every option of a run, every mode,
// and every option and exit status of each subcommand in its own --help.
TEST(Cli, RunHelpNamesEveryOptionAndMode) {
  const std::string help = ufhost::app::usage_text();
  EXPECT_EQ(0u, help.find("Usage: ufhost")) << help;
  for (const ufhost::OptionDecl& decl : ufhost::app::run_option_table()) {
    const std::string shown = ufhost::option_synopsis(decl);
    EXPECT_NE(std::string::npos, help.find(shown)) << shown << "\n" << help;
  }
  for (const ufhost::app::ModeInfo& mode : ufhost::app::mode_table())
    EXPECT_NE(std::string::npos, help.find("ufhost " + mode.name + " " + mode.arguments)) << mode.name;
  for (const auto& s : ufhost::app::run_exit_statuses())
    EXPECT_NE(std::string::npos, help.find(s.meaning)) << s.meaning;
}

TEST(Cli, SubcommandHelpNamesEveryOptionAndStatus) {
  for (const ufhost::app::ModeInfo& mode : ufhost::app::mode_table()) {
    if (mode.usage.empty()) continue;
    SCOPED_TRACE(mode.name);
    EXPECT_EQ(0u, mode.usage.find("Usage: ufhost " + mode.name)) << mode.usage;
    for (const ufhost::OptionDecl& decl : mode.options) {
      const std::string shown = ufhost::option_synopsis(decl);
      EXPECT_NE(std::string::npos, mode.usage.find(shown)) << shown << "\n" << mode.usage;
    }
    for (const auto& s : mode.statuses)
      EXPECT_NE(std::string::npos, mode.usage.find(s.meaning)) << s.meaning;
  }
}

}  // namespace

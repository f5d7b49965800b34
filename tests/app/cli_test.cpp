// The command lines of ufhost and ufhost measure, read from their option
// tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ufhost/app/cli/cli.h"
#include "ufhost/app/measure/measure_internal.h"

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

TEST(Cli, HelpIsWrittenFromTheTables) {
  const std::string help = ufhost::app::usage_text();
  for (const char* option :
       {"Usage: ufhost", "--answers FILE", "--answer LINE", "--transcript", "--syslog", "--save",
        "--fail", "--plugin", "--view OUT.html", "--ui NAME", "--report", "--progress", "-h, --help",
        "--version", "ufhost --list PART", "ufhost measure [options] PART...", "Exit status"})
    EXPECT_NE(std::string::npos, help.find(option)) << option << "\n" << help;
  const std::string measure = ufhost::app::measure_usage();
  for (const char* option : {"--command C", "-j N, --jobs N", "--csv", "--json", "--round-up",
                             "--view-dir", "--out-dir", "--timeout", "--plugin", "--progress",
                             "--files-from FILE", "-0, --null", "--jsonl FILE", "--resume",
                             "--merge", "Exit status:"})
    EXPECT_NE(std::string::npos, measure.find(option)) << option << "\n" << measure;
}

TEST(Cli, MeasureOptions) {
  ufhost::app::MeasureOptions o;
  bool help = false;
  std::string error;
  ASSERT_TRUE(ufhost::app::parse_measure_options(
      {"--command=search", "-j3", "--round-up", "0.5", "--timeout=0", "a.step", "--", "-b.step"},
      &o, &help, &error))
      << error;
  EXPECT_EQ(ufhost::app::Command::Search, o.command->command);
  EXPECT_EQ(3, o.jobs);
  EXPECT_EQ(0.5, o.round_up);
  EXPECT_EQ(0, o.timeout);
  EXPECT_FALSE(o.progress);  // shown off a terminal only when asked
  EXPECT_EQ((std::vector<std::string>{"a.step", "-b.step"}), o.parts);

  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{}, "no part files given"},
      {{"--command", "volume", "a.step"}, "--command volume: choose extents, frame or search"},
      {{"-j", "0", "a.step"}, "-j 0: give a whole number from 1 to 256"},
      {{"--jobs=2.5", "a.step"}, "--jobs 2.5: give a whole number"},
      {{"--round-up", "-1", "a.step"}, "--round-up -1: give a step greater than 0"},
      {{"--round-up", "nan", "a.step"}, "--round-up nan"},
      {{"--timeout", "-1", "a.step"}, "--timeout -1"},
      {{"--bogus", "a.step"}, "unknown option --bogus (see ufhost measure --help)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_FALSE(ufhost::app::parse_measure_options(c.args, &o, &help, &error));
    EXPECT_NE(std::string::npos, error.find(c.says)) << error;
  }
}

}  // namespace

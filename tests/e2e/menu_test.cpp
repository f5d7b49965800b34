// The plug-in's entry and main menu, driven through ufhost with answers.
#include <regex>
#include <string>

#include "tests/support/support.h"

using testing_support::count_calls;
using testing_support::run_ufhost;
using testing_support::sample;
using testing_support::source_line;
using testing_support::work_dir;

namespace {

const char* const kAboutText =
    "Программа для вычисления габаритов одной или нескольких деталей.\n"
    "Автор: Zarvel Руководитель: Zarvel";

}  // namespace

TEST(Menu, ShowsTheFourItemsAndLeavesOnEveryLeavingCode) {
  for (const char* code : {"2", "3", "4"}) {
    SCOPED_TRACE(code);
    auto run = run_ufhost({sample("bracket.step")}, {std::string("menu code ") + code},
                          work_dir(std::string("menu_leave_") + code));
    ASSERT_EQ(0, run.exit_code) << run.err;
    auto menus = run.of_kind("menu");
    ASSERT_EQ(1u, menus.size());
    EXPECT_EQ("Габариты", menus[0]["title"]);
    const std::vector<std::string> items = menus[0]["items"];
    EXPECT_EQ((std::vector<std::string>{"Габарит объекта(ов)", "Габариты по рамке",
                                        "Угол поворота(min габариты)", "____О программе____"}),
              items);
    EXPECT_EQ(1, count_calls(run, "UF_initialize"));
    EXPECT_EQ(1, count_calls(run, "UF_terminate"));
    EXPECT_TRUE(run.of_kind("select").empty());
    EXPECT_TRUE(run.of_kind("message").empty());
  }
}

TEST(Menu, OtherCodesShowTheMenuAgainAndDoNothing) {
  auto run = run_ufhost({sample("bracket.step")},
                        {"menu back", "menu code 0", "menu code 9", "menu code -3",
                         "menu code 1000", "menu cancel"},
                        work_dir("menu_other_codes"));
  ASSERT_EQ(0, run.exit_code) << run.err;
  EXPECT_EQ(6u, run.of_kind("menu").size());
  EXPECT_TRUE(run.of_kind("select").empty());
  EXPECT_TRUE(run.of_kind("dialog").empty());
  EXPECT_TRUE(run.of_kind("message").empty());
  EXPECT_EQ(1, count_calls(run, "UF_terminate"));
}

TEST(Menu, AboutBoxShowsTheSameTextEveryTime) {
  auto run = run_ufhost({sample("bracket.step")},
                        {"menu 4", "message ok", "menu 4", "message ok", "menu cancel"},
                        work_dir("menu_about"));
  ASSERT_EQ(0, run.exit_code) << run.err;
  auto messages = run.of_kind("message");
  ASSERT_EQ(2u, messages.size());
  for (const auto& m : messages) {
    EXPECT_EQ("Внимание", m["title"]);
    EXPECT_EQ(kAboutText, m["text"]);
  }
  EXPECT_EQ(3u, run.of_kind("menu").size());
}

TEST(Menu, RunningOutOfAnswersEndsTheRun) {
  auto run = run_ufhost({sample("bracket.step")}, {"menu 4"}, work_dir("menu_run_out"));
  EXPECT_EQ(0, run.exit_code) << run.err;
  EXPECT_EQ(1, count_calls(run, "UF_terminate"));
}

TEST(CheckedCall, FailedInitializeWritesTheReportAndEndsTheRun) {
  const int line = source_line("Zarvel_06.cpp", "CHECKED(UF_initialize())");
  ASSERT_GT(line, 0);
  auto run = run_ufhost({sample("bracket.step"), "--fail", "UF_initialize"}, {"menu cancel"},
                        work_dir("checked_init"));
  const std::string report = "*** ERROR code 1009 at line " + std::to_string(line) +
                             " in Zarvel_06:\n+++The operation was refused\nUF_initialize();\n";
  EXPECT_EQ(report, run.syslog);
  std::string listing;
  for (const auto& e : run.of_kind("listing")) listing += e["text"].get<std::string>();
  EXPECT_EQ(report, listing);
  // Five pieces each, in the order of the report.
  EXPECT_EQ(5u, run.of_kind("syslog").size());
  EXPECT_EQ(5u, run.of_kind("listing").size());
  EXPECT_TRUE(run.of_kind("menu").empty());
  EXPECT_EQ(0, count_calls(run, "UF_terminate"));
}

TEST(CheckedCall, CodeWithoutHostTextIsNotReported) {
  auto run = run_ufhost({sample("bracket.step"), "--fail", "UF_initialize=77"}, {"menu cancel"},
                        work_dir("checked_no_text"));
  EXPECT_EQ("", run.syslog);
  EXPECT_TRUE(run.of_kind("listing").empty());
  EXPECT_TRUE(run.of_kind("menu").empty());
  EXPECT_EQ(0, count_calls(run, "UF_terminate"));
}

TEST(CheckedCall, ClosedListingWindowLeavesTheReportInTheSystemLogOnly) {
  auto run = run_ufhost(
      {sample("bracket.step"), "--fail", "UF_initialize", "--fail", "UF_UI_open_listing_window"},
      {"menu cancel"}, work_dir("checked_no_listing"));
  EXPECT_NE(std::string::npos, run.syslog.find("UF_initialize();\n"));
  EXPECT_TRUE(run.of_kind("listing").empty());
}

TEST(CheckedCall, DebugBuildNamesTheFullLowerCasePath) {
  auto run = run_ufhost({sample("bracket.step"), "--fail", "UF_initialize"}, {"menu cancel"},
                        work_dir("checked_debug"), PLUGIN_DEBUG);
  std::string path = std::string(ZARVEL_SOURCE_DIR) + "/src/Zarvel_06.cpp";
  for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(std::string::npos, run.syslog.find(" in " + path + ":\n+++")) << run.syslog;
}

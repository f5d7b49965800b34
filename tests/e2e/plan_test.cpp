// `ufhost plan` and `ufhost cutlist --plan` as their users run them: what to
// buy and how to cut it, the failures a user meets, and the files written.
#include <fstream>
#include <string>

#include "tests/support/support.h"

using nlohmann::json;
using testing_support::HostRun;
using testing_support::read_file;
using testing_support::run_ufhost_exactly;
using testing_support::sample;
using testing_support::work_dir;

namespace {

std::string write_pieces(const std::string& dir, const std::string& text) {
  const std::string path = dir + "/pieces.csv";
  std::ofstream(path) << text;
  return path;
}

const char kPieces[] =
    "Length,Width,Qty,Label,Enabled\n"
    "500,,4,rail,true\n"
    "1200,,3,post,true\n"
    "2400,,2,beam,true\n"
    "600,300,6,shelf,true\n"
    "1200,600,2,top,true\n";

}  // namespace

TEST(Plan, BarsAndSheetsToBuyWithTheirLayouts) {
  const std::string dir = work_dir("plan_pieces");
  const HostRun run = run_ufhost_exactly({"plan", "--bar", "6000@40", "--sheet", "2500x1250@90", "--json",
                                          dir + "/plan.json", "--html", dir + "/plan.html",
                                          write_pieces(dir, kPieces)},
                                         dir);
  ASSERT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("kerf 3 mm")) << run.out;  // the default, said
  EXPECT_NE(std::string::npos, run.out.find("Layouts")) << run.out;
  const json doc = json::parse(read_file(dir + "/plan.json"), nullptr, false);
  ASSERT_TRUE(doc.is_object());
  ASSERT_EQ(2u, doc["plans"].size());
  const json& bars = doc["plans"][0];
  EXPECT_EQ("bar", bars["stock"]["kind"]);
  // 2000 + 3600 + 4800 mm with 3 mm cuts: two 6 m bars, and that is optimal.
  EXPECT_EQ(2, bars["stock"]["sizes"][0]["count"]);
  EXPECT_TRUE(bars["optimal"].get<bool>());
  EXPECT_EQ(80, bars["cost"]);
  EXPECT_EQ("sheet", doc["plans"][1]["stock"]["kind"]);
  EXPECT_TRUE(doc["errors"].empty());
  const std::string page = read_file(dir + "/plan.html");
  EXPECT_NE(std::string::npos, page.find("<svg")) << page.substr(0, 200);
  EXPECT_NE(std::string::npos, page.find("beam: 2400"));
}

// The rest is planned; the piece no bar holds is named, and the status says so.
TEST(Plan, APieceLongerThanEveryBarIsAnErrorOfItsOwn) {
  const std::string dir = work_dir("plan_too_long");
  const HostRun run = run_ufhost_exactly(
      {"plan", "--bar", "6000", "--kerf", "3", "--trim", "5", "--json", dir + "/plan.json",
       write_pieces(dir, "Length,Qty,Label\n5995,1,long\n500,2,short\n")},
      dir);
  EXPECT_EQ(2, run.exit_code) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.err.find("long (5995) fits no bar of the stock")) << run.err;
  const json doc = json::parse(read_file(dir + "/plan.json"), nullptr, false);
  ASSERT_EQ(1u, doc["errors"].size());
  EXPECT_EQ(1, doc["plans"][0]["stock"]["sizes"][0]["count"]);
}

TEST(Plan, AMalformedLineStopsWithItsFileAndLine) {
  const std::string dir = work_dir("plan_malformed");
  const std::string pieces = write_pieces(dir, "Length,Qty\n500,2\n500,two\n");
  const HostRun run = run_ufhost_exactly({"plan", "--bar", "6000", pieces}, dir);
  EXPECT_EQ(1, run.exit_code);
  EXPECT_NE(std::string::npos, run.err.find(pieces + ":3: Qty \"two\"")) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
}

TEST(Plan, OptionsThatMakeNoPlanSayWhy) {
  const std::string dir = work_dir("plan_options");
  const std::string pieces = write_pieces(dir, kPieces);
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"plan", "--sheet", "2500x1250", pieces}, "give --bar LENGTH"},
      {{"plan", "--bar", "6000", pieces}, "give --sheet LxW"},
      {{"plan", "--bar", "6000", "--kerf", "-1", pieces}, "--kerf -1"},
      {{"plan", "--bar", "6000", "--stages", "4", pieces}, "--stages 4: give 2, 3 or any"},
      {{"plan", "--bar", "6000", "--turn", "maybe", pieces}, "--turn maybe"},
      {{"plan", "--bar", "6000", "--time-limit", "0", pieces}, "--time-limit 0"},
      {{"plan", "--bar", "6000"}, "give the pieces' CSV file"},
      {{"plan", "--item", "round 41", "--sheet", "2500x1250", pieces}, "--item round 41: no such item"},
  };
  for (const auto& [args, says] : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    const HostRun run = run_ufhost_exactly(args, dir);
    EXPECT_EQ(1, run.exit_code);
    EXPECT_NE(std::string::npos, run.err.find(says)) << run.err;
  }
}

// The shipped catalogue's standard sizes: round 45 in 6 m bars, the plates
// in their formats; the shopping list says what to buy.
TEST(Plan, TheCutListPlansStockThatComesInStandardSizes) {
  const std::string dir = work_dir("cutlist_plan");
  const HostRun run = run_ufhost_exactly({"cutlist", "--stock", "default", "--allowance", "2", "--plan", "--json",
                                          dir + "/cut.json", "--html", dir + "/cut.html", sample("assembly.step")},
                                         dir);
  ASSERT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Cutting plans (kerf 3 mm")) << run.out;
  const json doc = json::parse(read_file(dir + "/cut.json"), nullptr, false);
  ASSERT_TRUE(doc.is_object());
  const json* round = nullptr;
  for (const json& plan : doc["plans"])
    if (plan["stock"]["designation"] == "round 45 (C45)") round = &plan;
  ASSERT_NE(nullptr, round) << doc["plans"].dump();
  EXPECT_TRUE((*round)["optimal"].get<bool>());
  EXPECT_EQ(1, (*round)["stock"]["sizes"][0]["count"]);
  // Four shafts of 154 mm, each labelled with its row's number.
  const json& layout = (*round)["layouts"][0];
  EXPECT_EQ(4u, layout["pieces"].size());
  EXPECT_EQ(154, layout["pieces"][0]["length"]);
  bool bought = false;
  for (const json& line : doc["shopping"]) bought = bought || line["buy"] == "1 × 6000";
  EXPECT_TRUE(bought) << doc["shopping"].dump();
  const std::string page = read_file(dir + "/cut.html");
  EXPECT_NE(std::string::npos, page.find("<h2>Cutting plans</h2>"));
  EXPECT_NE(std::string::npos, page.find("class=\"layout\""));
}

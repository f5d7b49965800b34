// Plans as a user reads them: the table, the JSON's keys, the drawings and
// the errors, on plans small enough to check by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ufhost/app/plan/plan_report.h"

namespace {

using ufhost::app::PlanJob;
constexpr ufhost::plan::Length kMm = ufhost::plan::kPerMillimetre;

// Three pieces of 1000 and three of 2000 on 3000 mm bars, no kerf: three
// bars, each 1000 + 2000, and no waste.
PlanJob triplet_bars() {
  PlanJob job;
  job.designation = "round 40";
  job.bars = true;
  job.pieces = {{"1", 1000 * kMm, 0, 3, true}, {"2", 2000 * kMm, 0, 3, true}};
  ufhost::plan::Stock bar;
  bar.name = "3000";
  bar.length = 3000 * kMm;
  bar.price = 10 * ufhost::plan::kPerCurrencyUnit;
  job.stock = {bar};
  job.settings.kerf = 0;
  ufhost::app::run_plan(&job);
  return job;
}

TEST(PlanReport, ATightPlanIsOptimalWithNoWaste) {
  const PlanJob job = triplet_bars();
  ASSERT_TRUE(job.planned) << job.error;
  const ufhost::app::PlanTotals totals = ufhost::app::plan_totals(job);
  EXPECT_TRUE(totals.priced);
  EXPECT_EQ(30 * ufhost::plan::kPerCurrencyUnit, totals.cost);  // 3 bars at 10
  EXPECT_DOUBLE_EQ(0, totals.waste);
  const std::string table = ufhost::app::plans_table({job});
  EXPECT_NE(std::string::npos, table.find("optimal")) << table;
  EXPECT_NE(std::string::npos, table.find("30.00")) << table;
  EXPECT_NE(std::string::npos, table.find("1: 1000")) << table;
  EXPECT_NE(std::string::npos, table.find("2: 2000")) << table;
  EXPECT_TRUE(ufhost::app::plan_errors(job).empty());
}

TEST(PlanReport, TheJsonHasTheKeysScriptsRelyOn) {
  const nlohmann::json plans = ufhost::app::plans_json({triplet_bars()});
  ASSERT_EQ(1u, plans.size());
  const nlohmann::json& p = plans[0];
  EXPECT_EQ("round 40", p["stock"]["designation"]);
  EXPECT_EQ("bar", p["stock"]["kind"]);
  EXPECT_EQ(3, p["stock"]["sizes"][0]["count"]);
  EXPECT_EQ(3000, p["stock"]["sizes"][0]["length"]);
  EXPECT_EQ(10, p["stock"]["sizes"][0]["price"]);
  EXPECT_EQ(30, p["lower_bound"]);
  EXPECT_TRUE(p["optimal"].get<bool>());
  EXPECT_EQ(0, p["gap"]);
  EXPECT_EQ(0, p["waste"]);
  EXPECT_EQ(30, p["cost"]);
  ASSERT_EQ(1u, p["layouts"].size());
  const nlohmann::json& l = p["layouts"][0];
  EXPECT_EQ(3, l["count"]);
  EXPECT_EQ(3000, l["length"]);
  ASSERT_EQ(2u, l["pieces"].size());
  for (const nlohmann::json& piece : l["pieces"])
    for (const char* key : {"label", "length", "width", "x", "y", "turned"}) EXPECT_TRUE(piece.contains(key)) << key;
  EXPECT_TRUE(l["offcuts"].is_array());
}

TEST(PlanReport, EveryPieceIsDrawnWithItsLabel) {
  const PlanJob job = triplet_bars();
  const std::string svg = ufhost::app::layout_svg(job, job.plan.layouts.at(0));
  EXPECT_EQ(0u, svg.find("<svg"));
  std::size_t pieces = 0;
  for (std::size_t at = 0; (at = svg.find("class=\"piece\"", at)) != std::string::npos; ++at) ++pieces;
  EXPECT_EQ(2u, pieces);
  EXPECT_NE(std::string::npos, svg.find("2: 2000"));
  const std::string page = ufhost::app::plans_page({job}, "Plans <&>", "sub");
  EXPECT_NE(std::string::npos, page.find("Plans &lt;&amp;&gt;"));
  EXPECT_EQ(std::string::npos, page.find("<script"));
}

// A piece no stock holds is an error naming it; the rest is planned.
TEST(PlanReport, APieceTooLongIsNamedAndTheRestPlanned) {
  PlanJob job = triplet_bars();
  job.pieces.push_back({"beam", 3500 * kMm, 0, 1, true});
  ufhost::app::run_plan(&job);
  ASSERT_TRUE(job.planned) << job.error;
  const std::vector<std::string> errors = ufhost::app::plan_errors(job);
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ("round 40: beam (3500) fits no bar of the stock, kerf and trim counted", errors[0]);
  EXPECT_EQ(3, job.plan.used[0]);
}

TEST(PlanReport, InputThePlannerRefusesIsTheJobsError) {
  PlanJob job = triplet_bars();
  job.stock[0].length = 0;
  ufhost::app::run_plan(&job);
  EXPECT_FALSE(job.planned);
  EXPECT_EQ(0u, job.error.find("round 40: no plan: ")) << job.error;
  EXPECT_EQ(std::vector<std::string>{job.error}, ufhost::app::plan_errors(job));
  EXPECT_NE(std::string::npos, ufhost::app::plans_table({job}).find("round 40"));
}

}  // namespace

// What a plan is asked for: the pieces CSV, --bar and --sheet, offcuts.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/support.h"
#include "ufhost/app/plan/plan_input.h"

namespace {

using ufhost::app::PlanPieces;

PlanPieces parse(const std::string& text, bool all_bars = false) {
  PlanPieces pieces;
  std::string error;
  EXPECT_TRUE(ufhost::app::parse_pieces(text, "p.csv", all_bars, true, &pieces, &error)) << error;
  return pieces;
}

std::string refusal(const std::string& text) {
  PlanPieces pieces;
  std::string error;
  EXPECT_FALSE(ufhost::app::parse_pieces(text, "p.csv", false, true, &pieces, &error)) << text;
  return error;
}

// The cut list's export reads back: a width makes a sheet piece, none a bar.
TEST(PlanInput, TheOptimisersCsvReadsBack) {
  const PlanPieces p = parse(
      "Length,Width,Qty,Label,Enabled\n"
      "154,44,4,shaft ×4 - round 45,true\n"
      "1200,,3,post,true\n"
      "600,300,2,\"shelf, oak\",false\n"
      "800,400.5,1,side,TRUE\n");
  ASSERT_EQ(1u, p.bars.size());
  EXPECT_EQ(1'200'000, p.bars[0].length);
  EXPECT_EQ(3, p.bars[0].quantity);
  ASSERT_EQ(2u, p.sheets.size());
  EXPECT_EQ("shaft ×4 - round 45", p.sheets[0].label);
  EXPECT_EQ(400'500, p.sheets[1].width);
  EXPECT_TRUE(p.sheets[1].may_turn);
}

TEST(PlanInput, ColumnsInAnyOrderAndBarsWhenAsked) {
  const PlanPieces p = parse("qty,length,width\n2,500,20\n", true);
  ASSERT_EQ(1u, p.bars.size());
  EXPECT_EQ(500'000, p.bars[0].length);
  EXPECT_EQ(0, p.bars[0].width);
  EXPECT_EQ("line 1", p.bars[0].label);
}

// A piece must fit where it is planned: finer than a micrometre rounds up.
TEST(PlanInput, PiecesRoundUpToWholeMicrometres) {
  const PlanPieces p = parse("Length,Qty\n154.0000001,1\n");
  ASSERT_EQ(1u, p.bars.size());
  EXPECT_EQ(154'001, p.bars[0].length);
}

TEST(PlanInput, BadLinesNameTheFileAndLine) {
  EXPECT_EQ("p.csv: no header line (Length,Width,Qty,Label,Enabled)", refusal("\n# only a note\n"));
  EXPECT_EQ(0u, refusal("Length,Colour\n").find("p.csv:1: unknown column \"Colour\""));
  EXPECT_EQ("p.csv:1: the header names no Length or no Qty", refusal("Length,Width\n"));
  EXPECT_EQ(0u, refusal("Length,Qty\n100,1\n-5,1\n").find("p.csv:3: Length \"-5\""));
  EXPECT_EQ(0u, refusal("Length,Qty\n0,1\n").find("p.csv:2: Length \"0\""));
  EXPECT_EQ(0u, refusal("Length,Qty\n100000.001,1\n").find("p.csv:2: Length"));
  EXPECT_EQ(0u, refusal("Length,Qty\n100,1000001\n").find("p.csv:2: Qty \"1000001\""));
  EXPECT_EQ(0u, refusal("Length,Qty\n100,2.5\n").find("p.csv:2: Qty"));
  EXPECT_EQ(0u, refusal("Length,Width,Qty\n100,-1,1\n").find("p.csv:2: Width \"-1\""));
  EXPECT_EQ("p.csv:2: a quote is not closed", refusal("Length,Qty,Label\n100,1,\"open\n"));
  EXPECT_EQ(0u, refusal("Length,Qty,Enabled\n100,1,maybe\n").find("p.csv:2: Enabled \"maybe\""));
}

TEST(PlanInput, BarAndSheetStockAsTheCommandLineWritesIt) {
  ufhost::plan::Stock s;
  std::string error;
  ASSERT_TRUE(ufhost::app::parse_bar_stock("6000", &s, &error)) << error;
  EXPECT_EQ(6'000'000, s.length);
  EXPECT_EQ(-1, s.count);
  EXPECT_FALSE(s.price.has_value());
  ASSERT_TRUE(ufhost::app::parse_bar_stock("3000:4@12.50", &s, &error)) << error;
  EXPECT_EQ(4, s.count);
  EXPECT_EQ(12'500'000, *s.price);
  ASSERT_TRUE(ufhost::app::parse_sheet_stock("1250x2500@80", &s, &error)) << error;
  EXPECT_EQ(2'500'000, s.length);  // the longer side is the length
  EXPECT_EQ(1'250'000, s.width);
  for (const char* bad : {"", "x", "6000:", "6000@", "6000:-1", "6000:two", "6000@free", "-6000", "0"}) {
    EXPECT_FALSE(ufhost::app::parse_bar_stock(bad, &s, &error)) << bad;
    EXPECT_EQ(0u, error.find("--bar ")) << error;
  }
  for (const char* bad : {"2500", "2500x", "x1250", "2500x0", "2500x1250:", "2500*1250"}) {
    EXPECT_FALSE(ufhost::app::parse_sheet_stock(bad, &s, &error)) << bad;
    EXPECT_EQ(0u, error.find("--sheet ")) << error;
  }
}

TEST(PlanInput, OffcutsAreFreeStockAtHand) {
  const std::string path = testing_support::work_dir("plan_offcuts") + "/offcuts.csv";
  std::ofstream(path) << "Length,Width,Qty,Label\n2400,,2,rack A\n600.0004,1200,1,\n";
  std::vector<ufhost::plan::Stock> bars, sheets;
  std::string error;
  ASSERT_TRUE(ufhost::app::read_offcuts(path, &bars, &sheets, &error)) << error;
  ASSERT_EQ(1u, bars.size());
  EXPECT_TRUE(bars[0].offcut);
  EXPECT_EQ(2, bars[0].count);
  EXPECT_EQ("rack A", bars[0].name);
  EXPECT_FALSE(bars[0].price.has_value());
  ASSERT_EQ(1u, sheets.size());
  EXPECT_EQ(1'200'000, sheets[0].length);
  EXPECT_EQ(600'000, sheets[0].width);  // stock rounds down: it must hold what is planned
}

}  // namespace

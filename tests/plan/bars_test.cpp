#include "ufhost/plan/bars/bars.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>

#include "ufhost/plan/bars/bars_cg.h"
#include "ufhost/plan/check.h"

namespace ufhost::plan {
namespace {

constexpr Length mm = kPerMillimetre;

Piece piece(const char* label, Length length_mm, std::int64_t quantity) {
  Piece p;
  p.label = label;
  p.length = length_mm * mm;
  p.quantity = quantity;
  return p;
}

Stock bar(Length length_mm, std::int64_t count = -1) {
  Stock s;
  s.name = std::to_string(length_mm);
  s.length = length_mm * mm;
  s.count = count;
  return s;
}

Stock priced(Length length_mm, Money price, std::int64_t count = -1) {
  Stock s = bar(length_mm, count);
  s.price = price;
  return s;
}

Stock offcut(Length length_mm, std::int64_t count) {
  Stock s = bar(length_mm, count);
  s.offcut = true;
  return s;
}

Settings cut(Length kerf_um = 0, Length trim_um = 0) {
  Settings s;
  s.kerf = kerf_um;
  s.trim = trim_um;
  return s;
}

// Plans and holds the plan to the checker.
Plan planned(const std::vector<Piece>& pieces, const std::vector<Stock>& stock, const Settings& settings) {
  const Plan plan = plan_bars(pieces, stock, settings);
  EXPECT_EQ(check_bars(pieces, stock, settings, plan), "");
  return plan;
}

TEST(Bars, TripletsFillEveryBarWhereFirstFitDecreasingDoesNot) {
  // Three bars of exactly 1000: 380+320+300, 360+340+300, 350+330+320.
  const std::vector<Piece> pieces{piece("a", 380, 1), piece("b", 320, 2), piece("c", 300, 2),
                                  piece("d", 360, 1), piece("e", 340, 1), piece("f", 350, 1),
                                  piece("g", 330, 1)};
  CutProblem problem;
  for (Length l : {380, 360, 350, 340, 330}) problem.items.push_back({l * mm, 1});
  problem.items.push_back({320 * mm, 2});
  problem.items.push_back({300 * mm, 2});
  problem.stocks.push_back({1000 * mm, 1000 * mm, -1});
  EXPECT_EQ(first_fit_decreasing(problem).cost, 4000 * mm);

  const Plan plan = planned(pieces, {bar(1000)}, cut());
  EXPECT_EQ(plan.used[0], 3);
  EXPECT_DOUBLE_EQ(plan.value, 3.0);
  EXPECT_DOUBLE_EQ(plan.lower_bound, 3.0);
  EXPECT_TRUE(plan.optimal);
  for (const Layout& layout : plan.layouts) EXPECT_TRUE(layout.offcuts.empty());
}

TEST(Bars, PerfectBarsFoundWhereADiveAloneEndsABarOver) {
  // 31 bars of exactly 1000, three pieces each, shuffled together. The
  // relaxation's whole columns lead to a rest of 51 pieces that no 17 bars
  // hold (the exact search shows it), so the search must back up to the root
  // and forbid a column there. Dives that never back up (six of them, then
  // branch and cut on their columns) cut 32 bars.
  const std::vector<std::vector<Length>> bars{
      {436, 279, 285}, {480, 253, 267}, {400, 285, 315}, {435, 277, 288}, {413, 283, 304}, {414, 259, 327},
      {455, 259, 286}, {481, 258, 261}, {465, 252, 283}, {411, 271, 318}, {384, 290, 326}, {477, 261, 262},
      {447, 259, 294}, {422, 252, 326}, {436, 274, 290}, {410, 256, 334}, {446, 251, 303}, {421, 257, 322},
      {427, 256, 317}, {477, 257, 266}, {484, 252, 264}, {466, 264, 270}, {456, 255, 289}, {482, 250, 268},
      {451, 258, 291}, {440, 256, 304}, {415, 267, 318}, {404, 293, 303}, {487, 251, 262}, {394, 255, 351},
      {418, 265, 317}};
  std::map<Length, std::int64_t> count;
  for (const auto& b : bars) {
    ASSERT_EQ(b[0] + b[1] + b[2], 1000);
    for (const Length l : b) ++count[l];
  }
  std::vector<Piece> pieces;
  for (const auto& [length, n] : count) pieces.push_back(piece("p", length, n));
  const Plan plan = planned(pieces, {bar(1000)}, cut());
  EXPECT_EQ(plan.used[0], 31);
  EXPECT_TRUE(plan.optimal);
  for (const Layout& layout : plan.layouts) EXPECT_TRUE(layout.offcuts.empty());
}

TEST(Bars, KerfAndTrimDecideWhatFits) {
  // 500 + 3 + 500 is more than 1000; 498.5 + 3 + 498.5 is exactly 1000.
  EXPECT_EQ(planned({piece("p", 500, 2)}, {bar(1000)}, cut(3 * mm)).used[0], 2);
  Piece half = piece("h", 0, 2);
  half.length = 498'500;
  const Plan tight = planned({half}, {bar(1000)}, cut(3 * mm));
  ASSERT_EQ(tight.used[0], 1);
  EXPECT_EQ(tight.layouts[0].pieces[1].x, 501'500);
  EXPECT_TRUE(tight.layouts[0].offcuts.empty());

  // A piece as long as the bar fits when nothing is trimmed, whatever the kerf.
  const Plan whole = planned({piece("w", 1000, 1)}, {bar(1000)}, cut(3 * mm));
  EXPECT_EQ(whole.used[0], 1);
  EXPECT_TRUE(whole.unplaced.empty());
  const Plan trimmed = planned({piece("w", 1000, 1), piece("s", 100, 1)}, {bar(1000)}, cut(3 * mm, 1));
  EXPECT_EQ(trimmed.unplaced, std::vector<std::size_t>{0});
  EXPECT_EQ(trimmed.missing, (std::vector<std::int64_t>{1, 0}));
  // The trim is left at the start; the offcut runs from a kerf after the
  // piece to the bar's end: 1000 - (10 + 100 + 3) = 887.
  const Plan offcut_left = planned({piece("s", 100, 1)}, {bar(1000)}, cut(3 * mm, 10 * mm));
  ASSERT_EQ(offcut_left.layouts.size(), 1u);
  EXPECT_EQ(offcut_left.layouts[0].pieces[0].x, 10 * mm);
  ASSERT_EQ(offcut_left.layouts[0].offcuts.size(), 1u);
  EXPECT_EQ(offcut_left.layouts[0].offcuts[0].x, 113 * mm);
  EXPECT_EQ(offcut_left.layouts[0].offcuts[0].length, 887 * mm);
}

TEST(Bars, OffcutsAreCutWhenTheySaveAndLeftWhenNot) {
  // 5000 + 1900 do not share a 6000 bar; the 2000 offcut takes the 1900.
  const Plan saves = planned({piece("long", 5000, 1), piece("short", 1900, 1)},
                             {bar(6000), offcut(2000, 1)}, cut());
  EXPECT_EQ(saves.used, (std::vector<std::int64_t>{1, 1}));
  EXPECT_DOUBLE_EQ(saves.value, 6.0);
  EXPECT_TRUE(saves.optimal);
  // Both fit one bar: an offcut cut as well would be one bar more for nothing.
  const Plan spares = planned({piece("p", 1000, 3)}, {bar(6000), offcut(2500, 1)}, cut());
  EXPECT_EQ(spares.used, (std::vector<std::int64_t>{1, 0}));
}

TEST(Bars, PricesChooseTheSizes) {
  // Two 3000 bars at 10.00 against one 6000 bar at 15.00.
  const Plan plan = planned({piece("p", 2900, 2)}, {priced(3000, 10'000'000), priced(6000, 15'000'000)}, cut());
  EXPECT_EQ(plan.objective, Objective::kCost);
  EXPECT_EQ(plan.used, (std::vector<std::int64_t>{0, 1}));
  EXPECT_DOUBLE_EQ(plan.value, 15.0);
  EXPECT_TRUE(plan.optimal);
  // A priced offcut is worth cutting when it is cheaper than a bar.
  Stock remnant = offcut(3000, 1);
  remnant.price = 2'000'000;
  const Plan with_remnant = planned({piece("p", 2900, 1)}, {priced(6000, 15'000'000), remnant}, cut());
  EXPECT_EQ(with_remnant.used, (std::vector<std::int64_t>{0, 1}));
  EXPECT_DOUBLE_EQ(with_remnant.value, 2.0);
}

TEST(Bars, SeveralLengthsMixedForTheLeastMaterial) {
  // 3900 + 2900 = 6800 fit no one bar; 4000 + 3000 = 7 m beat 6000 + 3000 or two 4000.
  const Plan plan = planned({piece("a", 3900, 1), piece("b", 2900, 1)}, {bar(3000), bar(4000), bar(6000)}, cut());
  EXPECT_EQ(plan.used, (std::vector<std::int64_t>{1, 1, 0}));
  EXPECT_DOUBLE_EQ(plan.value, 7.0);
  EXPECT_TRUE(plan.optimal);
  // A mix of sizes and lengths, held to the checker and its bound.
  const Plan mixed = planned({piece("a", 1234, 17), piece("b", 2345, 9), piece("c", 777, 31), piece("d", 3100, 4)},
                             {bar(6000), bar(4500), bar(12000, 2)}, cut(3 * mm, 5 * mm));
  EXPECT_LE(mixed.lower_bound, mixed.value);
  EXPECT_GT(mixed.lower_bound, 0.0);
}

TEST(Bars, LimitedStockPlansWhatFits) {
  const std::vector<Piece> pieces{piece("first", 4000, 2), piece("second", 4000, 1), piece("small", 1500, 2)};
  const Plan plan = planned(pieces, {bar(6000, 2)}, cut());
  EXPECT_EQ(plan.used[0], 2);
  // Two 4000s and two 1500s fill both bars; the last 4000 in input order waits.
  EXPECT_EQ(plan.missing, (std::vector<std::int64_t>{0, 1, 0}));
  EXPECT_TRUE(plan.unplaced.empty());
  EXPECT_TRUE(plan.optimal);  // for what it placed: two bars
  // When a second size is left, nothing is missing and the dearer one waits.
  const Plan enough = planned(pieces, {bar(6000, 2), bar(4000, 5)}, cut());
  EXPECT_EQ(enough.missing, (std::vector<std::int64_t>{0, 0, 0}));
  EXPECT_DOUBLE_EQ(enough.value, 16.0);  // 6000 (4000 + 1500), 6000 (4000 + 1500), 4000
}

TEST(Bars, NoStockOrNothingWanted) {
  const Plan none = planned({piece("p", 100, 3)}, {}, cut());
  EXPECT_EQ(none.unplaced, std::vector<std::size_t>{0});
  EXPECT_EQ(none.missing, std::vector<std::int64_t>{3});
  EXPECT_TRUE(none.layouts.empty());
  const Plan empty = planned({piece("p", 100, 0)}, {bar(6000)}, cut());
  EXPECT_TRUE(empty.layouts.empty());
  EXPECT_TRUE(empty.optimal);
  // A size with none left holds nothing.
  EXPECT_EQ(planned({piece("p", 100, 1)}, {bar(6000, 0)}, cut()).unplaced.size(), 1u);
}

TEST(Bars, MillionsOfPiecesStayGrouped) {
  // A million of 1000 and a million of 1500 shared by two labels each, kerf 3:
  // five 1000s per 6000 bar need 5015, four 1500s 6012 do not fit, three do.
  const std::vector<Piece> pieces{piece("a", 1000, 1'000'000), piece("b", 1500, 600'000),
                                  piece("c", 1500, 400'000), piece("d", 1000, 7)};
  const Plan plan = planned(pieces, {bar(6000)}, cut(3 * mm));
  EXPECT_LT(plan.layouts.size(), 20u);
  EXPECT_LE(plan.lower_bound, plan.value);
  EXPECT_LT(plan.gap, 1e-5);
  const Plan flat = planned({piece("p", 1000, kMaxQuantity)}, {bar(6000)}, cut());
  EXPECT_EQ(flat.used[0], 166'667);
  EXPECT_TRUE(flat.optimal);
}

TEST(Bars, TimeLimitZeroStillPlans) {
  Settings settings = cut(2 * mm);
  settings.time_limit = 0;
  std::vector<Piece> pieces;
  for (int i = 0; i < 40; ++i) pieces.push_back(piece("p", 200 + 37 * i, 1 + i % 3));
  const Plan plan = planned(pieces, {bar(6000)}, settings);
  EXPECT_GT(plan.used[0], 0);
  EXPECT_GT(plan.lower_bound, 0.0);
}

TEST(Bars, SameInputSamePlan) {
  std::vector<Piece> pieces;
  for (int i = 0; i < 60; ++i) pieces.push_back(piece("p", 250 + (i * 7919) % 2000, 1 + i % 4));
  const std::vector<Stock> stock{bar(6000), bar(4000, 10)};
  const Plan a = planned(pieces, stock, cut(3 * mm));
  const Plan b = planned(pieces, stock, cut(3 * mm));
  ASSERT_EQ(a.layouts.size(), b.layouts.size());
  for (std::size_t l = 0; l < a.layouts.size(); ++l) {
    EXPECT_EQ(a.layouts[l].count, b.layouts[l].count);
    ASSERT_EQ(a.layouts[l].pieces.size(), b.layouts[l].pieces.size());
    for (std::size_t j = 0; j < a.layouts[l].pieces.size(); ++j)
      EXPECT_EQ(a.layouts[l].pieces[j].piece, b.layouts[l].pieces[j].piece);
  }
  EXPECT_EQ(a.value, b.value);
}

TEST(Bars, BadInputIsRefused) {
  const std::vector<Stock> stock{bar(6000)};
  const auto refused = [&](std::vector<Piece> pieces, std::vector<Stock> sizes, Settings settings) {
    EXPECT_THROW(plan_bars(pieces, sizes, settings), std::invalid_argument);
  };
  Piece wide = piece("w", 100, 1);
  wide.width = 10;
  refused({wide}, stock, cut());
  refused({piece("zero", 0, 1)}, stock, cut());
  refused({piece("long", 100'001, 1)}, stock, cut());
  refused({piece("many", 100, kMaxQuantity + 1)}, stock, cut());
  refused({piece("negative", 100, -1)}, stock, cut());
  refused({piece("p", 100, 1)}, {bar(6000, -2)}, cut());
  refused({piece("p", 100, 1)}, {priced(6000, -1)}, cut());
  refused({piece("p", 100, 1)}, stock, cut(-1));
  refused({piece("p", 100, 1)}, stock, cut(0, -1));
  Settings never = cut();
  never.time_limit = std::numeric_limits<double>::quiet_NaN();
  refused({piece("p", 100, 1)}, stock, never);
  // Some sizes priced and some not: no plan can weigh one against the other.
  try {
    plan_bars({piece("p", 100, 1)}, {priced(6000, 1'000'000), bar(3000)}, cut());
    ADD_FAILURE() << "mixed prices were accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("stock 1 (3000)"), std::string::npos) << e.what();
  }
  // An unpriced offcut among priced bars is fine: it costs nothing.
  EXPECT_EQ(planned({piece("p", 100, 1)}, {priced(6000, 1'000'000), offcut(3000, 1)}, cut()).used[1], 1);
}

// A valid plan, made by hand, to break in the checker's tests: two bars of
// 1000, kerf 5, trim 10; one holds 400 at 10 and 300 at 415, the other 400.
struct Broken : ::testing::Test {
  std::vector<Piece> pieces{piece("a", 400, 2), piece("b", 300, 1)};
  std::vector<Stock> stock{bar(1000, 2)};
  Settings settings = cut(5 * mm, 10 * mm);
  Plan plan;
  void SetUp() override {
    Layout both{0, 1, {{0, 10 * mm, 0, 400 * mm, 0, false}, {1, 415 * mm, 0, 300 * mm, 0, false}},
                {{720 * mm, 0, 280 * mm, 0}}};
    Layout one{0, 1, {{0, 10 * mm, 0, 400 * mm, 0, false}}, {{415 * mm, 0, 585 * mm, 0}}};
    plan.layouts = {both, one};
    plan.used = {2};
    plan.missing = {0, 0};
    plan.value = plan.lower_bound = 2.0;
    plan.optimal = true;
    ASSERT_EQ(fault(), "");
  }
  std::string fault() const { return check_bars(pieces, stock, settings, plan); }
  Layout& two_pieces() { return plan.layouts[0]; }
};

TEST_F(Broken, OverlapOrNoKerf) {
  Layout& l = two_pieces();
  l.pieces[1].x = l.pieces[0].x + l.pieces[0].length + 4 * mm;  // a kerf of 4, not 5
  EXPECT_NE(fault().find("less than a kerf"), std::string::npos) << fault();
  l.pieces[1].x = l.pieces[0].x + 10 * mm;
  EXPECT_NE(fault(), "");
}

TEST_F(Broken, InTheTrimOrPastTheEnd) {
  Layout& l = two_pieces();
  l.pieces[0].x = 5 * mm;
  EXPECT_NE(fault().find("trim"), std::string::npos) << fault();
  l.pieces[0].x = 10 * mm;
  l.pieces[1].x = 1000 * mm - 10 * mm - l.pieces[1].length + 1;
  EXPECT_NE(fault().find("trim"), std::string::npos) << fault();
}

TEST_F(Broken, WrongCounts) {
  plan.layouts[0].count += 1;
  EXPECT_NE(fault(), "");  // a piece too many, and used disagrees
  plan.layouts[0].count -= 1;
  two_pieces().pieces.pop_back();
  EXPECT_NE(fault().find("placed"), std::string::npos) << fault();
}

TEST_F(Broken, MoreThanTheStockHolds) {
  for (Layout& l : plan.layouts) l.count = 2;
  plan.used[0] = 4;
  plan.missing = {-2, -1};
  EXPECT_NE(fault(), "");
  plan.missing = {0, 0};
  stock[0].count = 3;
  pieces[0].quantity = 4;
  pieces[1].quantity = 2;
  plan.value = 4.0;
  EXPECT_NE(fault().find("cut of 3"), std::string::npos) << fault();
}

TEST_F(Broken, ValueBoundAndOffcuts) {
  plan.value += 1;
  EXPECT_NE(fault().find("value"), std::string::npos) << fault();
  plan.value -= 1;
  plan.lower_bound = plan.value + 1;
  EXPECT_NE(fault().find("bound"), std::string::npos) << fault();
  plan.lower_bound = plan.value;
  Layout& l = two_pieces();
  l.offcuts = {{l.pieces[1].x + l.pieces[1].length, 0, 10 * mm, 0}};  // no kerf between
  EXPECT_NE(fault().find("offcut"), std::string::npos) << fault();
  l.offcuts.clear();
  plan.unplaced = {1};
  EXPECT_NE(fault().find("unplaced"), std::string::npos) << fault();
  plan.unplaced.clear();
  plan.missing[1] = 1;
  EXPECT_NE(fault(), "");
}

TEST_F(Broken, MissingWhileStockIsLeft) {
  // One bar holds the 300 alone; dropping it with a bar to spare is no plan.
  stock[0].count = 3;
  Layout& l = two_pieces();
  l.pieces.pop_back();
  plan.missing = {0, 1};
  EXPECT_NE(fault().find("is left"), std::string::npos) << fault();
}

}  // namespace
}  // namespace ufhost::plan

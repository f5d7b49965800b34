#include <gtest/gtest.h>

#include "ufhost/plan/check.h"

namespace ufhost::plan {
namespace {

// Small layouts written by hand in whole micrometres, as a planner might
// give them, each broken in one way the checker must catch.
struct Job {
  std::vector<Piece> pieces;
  std::vector<Stock> stock{{"sheet", 300, 300, -1, {}, false}};
  Settings settings;
  Plan plan;
};

Placed at(std::size_t piece, Length x, Length y, Length length, Length width, bool turned = false) {
  return {piece, x, y, length, width, turned};
}

// A plan of one sheet holding `placed`, with value and counts to match.
Job one_sheet(std::vector<Piece> pieces, std::vector<Placed> placed, int stages = 3, Length kerf = 0) {
  Job job;
  job.pieces = std::move(pieces);
  job.settings.stages = stages;
  job.settings.kerf = kerf;
  job.plan.layouts.push_back({0, 1, std::move(placed), {}});
  job.plan.used = {1};
  job.plan.missing.assign(job.pieces.size(), 0);
  job.plan.value = 300.0 * 300.0 / 1e12;  // m²
  job.plan.lower_bound = job.plan.value;
  return job;
}

std::string check(const Job& job) { return check_sheets(job.pieces, job.stock, job.settings, job.plan); }

// A full-width strip of 300 x 100 above two 150 x 200 side by side: stage 1
// finds no cut across the length, stage 2 parts the strip from the pair,
// stage 3 parts the pair.
Job three_stage() {
  return one_sheet({{"strip", 300, 100, 1, false}, {"half", 150, 200, 2, false}},
                   {at(0, 0, 200, 300, 100), at(1, 0, 0, 150, 200), at(1, 150, 0, 150, 200)});
}

TEST(SheetsCheck, SoundLayoutsPass) {
  EXPECT_EQ(check(three_stage()), "");
  Job any = three_stage();
  any.settings.stages = 0;
  EXPECT_EQ(check(any), "");
  // Pieces alone in a section with waste above them need the uncounted
  // trimming cut only: one stage of sections is enough.
  EXPECT_EQ(check(one_sheet({{"a", 100, 100, 2, true}}, {at(0, 0, 0, 100, 100), at(0, 100, 0, 100, 100)}, 1)), "");
}

TEST(SheetsCheck, BrokenLayoutsAreRefused) {
  struct Case {
    const char* name;
    Job job;
    const char* expect;  // a part of the message
  };
  std::vector<Case> cases;
  cases.push_back({"overlap", one_sheet({{"a", 100, 100, 2, true}}, {at(0, 0, 0, 100, 100), at(0, 50, 50, 100, 100)}),
                   "overlaps"});
  // The pinwheel: four 200 x 100 pieces round a 100 x 100 square; no cut
  // runs edge to edge without crossing a piece.
  cases.push_back({"pinwheel",
                   one_sheet({{"arm", 200, 100, 2, true}, {"arm'", 100, 200, 2, true}, {"hub", 100, 100, 1, true}},
                             {at(0, 0, 0, 200, 100), at(1, 200, 0, 100, 200), at(0, 100, 200, 200, 100),
                              at(1, 0, 100, 100, 200), at(2, 100, 100, 100, 100)}, 0),
                   "guillotine"});
  Job two = three_stage();
  two.settings.stages = 2;
  cases.push_back({"three stages where two are allowed", two, "more than 2 stages"});
  cases.push_back({"no room for the kerf",
                   one_sheet({{"a", 100, 100, 2, true}}, {at(0, 0, 0, 100, 100), at(0, 100, 0, 100, 100)}, 3, 3),
                   "cannot be cut apart"});
  cases.push_back({"turned against the grain",
                   one_sheet({{"g", 200, 100, 1, false}}, {at(0, 0, 0, 100, 200, true)}), "grain"});
  cases.push_back({"wrong size", one_sheet({{"a", 200, 100, 1, true}}, {at(0, 0, 0, 200, 90)}), "wrong size"});
  cases.push_back({"off the sheet", one_sheet({{"a", 200, 100, 1, true}}, {at(0, 150, 0, 200, 100)}), "outside"});
  Job trimmed = one_sheet({{"a", 200, 100, 1, true}}, {at(0, 5, 5, 200, 100)});
  trimmed.settings.trim = 10;
  cases.push_back({"inside the trim", trimmed, "outside"});
  cases.push_back({"one short", one_sheet({{"a", 100, 100, 3, true}}, {at(0, 0, 0, 100, 100), at(0, 100, 0, 100, 100)}),
                   "placed 2 times"});
  Job over = one_sheet({{"a", 100, 100, 1, true}}, {at(0, 0, 0, 100, 100)});
  over.stock[0].count = 1;
  over.plan.layouts[0].count = 2;
  over.plan.used = {2};
  over.plan.value *= 2;
  over.pieces[0].quantity = 2;
  cases.push_back({"more sheets than there are", over, "of 1"});
  Job value = one_sheet({{"a", 100, 100, 1, true}}, {at(0, 0, 0, 100, 100)});
  value.plan.value = 1;
  cases.push_back({"value off", value, "value"});
  Job missing = one_sheet({{"a", 100, 100, 2, true}}, {at(0, 0, 0, 100, 100)});
  missing.plan.missing = {1};
  cases.push_back({"missing while sheets can be bought", missing, "could be bought"});
  Job offcut = one_sheet({{"a", 100, 100, 1, true}}, {at(0, 0, 0, 100, 100)});
  offcut.plan.layouts[0].offcuts.push_back({50, 0, 250, 300});
  cases.push_back({"offcut over a piece", offcut, "overlaps"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string why = check(c.job);
    EXPECT_NE(why.find(c.expect), std::string::npos) << why;
  }
}

TEST(SheetsCheck, CountsAndValuesThatDisagreeAreRefused) {
  // Each layout sound, the plan around it wrong in one way.
  const auto sound = [] { return one_sheet({{"a", 100, 100, 1, true}}, {at(0, 0, 0, 100, 100)}); };
  struct Case {
    const char* name;
    Job job;
    const char* expect;  // text the message must contain
  };
  std::vector<Case> cases;
  Job short_used = sound();
  short_used.plan.used = {};
  cases.push_back({"used not per stock", short_used, "entries for 1 stock"});
  Job short_missing = sound();
  short_missing.plan.missing = {0, 0};
  cases.push_back({"missing not per piece", short_missing, "entries for 1 pieces"});
  Job no_stock = sound();
  no_stock.plan.layouts[0].stock = 3;
  cases.push_back({"layout on no stock", no_stock, "no such stock 3"});
  Job no_copies = sound();
  no_copies.plan.layouts[0].count = 0;
  cases.push_back({"layout cut no times", no_copies, "count 0"});
  Job no_piece = sound();
  no_piece.plan.layouts[0].pieces[0].piece = 5;
  cases.push_back({"no such piece", no_piece, "no such piece 5"});
  Job flat = sound();
  flat.plan.layouts[0].offcuts.push_back({100, 0, 0, 300});
  cases.push_back({"empty offcut", flat, "is empty"});
  Job unplaced = sound();
  unplaced.plan.unplaced = {0};
  cases.push_back({"unplaced yet placed", unplaced, "listed as unplaced"});
  Job recount = sound();
  recount.plan.used = {2};
  cases.push_back({"used count off its layouts", recount, "by the plan's count"});
  Job priced = sound();
  priced.stock[0].price = 5 * kPerCurrencyUnit;
  cases.push_back({"prices given, material charged", priced, "objective"});
  Job unpriced = sound();
  unpriced.stock.push_back({"dear", 300, 300, -1, 7 * kPerCurrencyUnit, false});
  unpriced.plan.used = {1, 0};
  unpriced.plan.objective = Objective::kCost;
  cases.push_back({"bought without a price", unpriced, "without a price"});
  Job high = sound();
  high.plan.lower_bound = 2 * high.plan.value;
  cases.push_back({"bound above the value", high, "lower bound"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string why = check(c.job);
    EXPECT_NE(why.find(c.expect), std::string::npos) << why;
  }
}

TEST(SheetsCheck, StockRunningOutMayLeavePiecesMissing) {
  Job job = one_sheet({{"a", 300, 300, 2, true}}, {at(0, 0, 0, 300, 300)});
  job.stock[0].count = 1;
  job.plan.missing = {1};
  EXPECT_EQ(check(job), "");
}

}  // namespace
}  // namespace ufhost::plan

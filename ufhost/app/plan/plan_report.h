// Cutting plans as a user reads them: what to buy, how good the plan is
// proven to be, and each layout, as a table, JSON and SVG drawings. Both
// `ufhost plan` and the cut list's --plan report through here.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ufhost/plan/plan.h"

namespace ufhost::app {

// One plan: pieces of one kind of stock (a catalogue item, or the bars or
// the sheets of `ufhost plan`) cut from its sizes.
struct PlanJob {
  std::string designation;  // "round 45", "plate 10", "bars", "sheets"
  bool bars = true;
  std::vector<plan::Piece> pieces;
  std::vector<plan::Stock> stock;
  plan::Settings settings;
  bool planned = false;
  plan::Plan plan;
  std::string error;  // why the input made no plan ("" once planned)
};

// Plans the job; an input the planner refuses is the job's error.
void run_plan(PlanJob* job);

// The pieces no stock holds, and those the stock at hand ran out for, one
// message each, naming the piece.
std::vector<std::string> plan_errors(const PlanJob& job);

// What the plan buys of each size: "2", and what it costs in all (0 when
// unpriced); the waste, in metres of bar or square metres of sheet.
struct PlanTotals {
  bool priced = false;
  plan::Money cost = 0;
  double waste = 0;
  double waste_share = 0;  // of what is cut
};
PlanTotals plan_totals(const PlanJob& job);

// The plans as text: per size, how many to buy, the lower bound, optimal or
// the gap, waste and cost; then each distinct layout with how many times it
// is cut. Sizes in millimetres.
std::string plans_table(const std::vector<PlanJob>& jobs);

// plans[]: stock (designation, kind, sizes bought with length, width,
// count, price), lower_bound, optimal, gap, waste, cost, layouts[] (count,
// length, width, pieces[] with label, length, width, x, y, turned,
// offcuts[]). Lengths in millimetres.
nlohmann::json plans_json(const std::vector<PlanJob>& jobs);

// A layout drawn as SVG: the bar or sheet, each piece with its label and
// size, the kerf between, the trim and the offcut.
std::string layout_svg(const PlanJob& job, const plan::Layout& layout);

// The plans as a part of a printable page (headed sections with a table
// and every layout drawn), and as a page of their own.
std::string plans_html(const std::vector<PlanJob>& jobs);
std::string plans_page(const std::vector<PlanJob>& jobs, const std::string& title,
                       const std::string& subtitle);

}  // namespace ufhost::app

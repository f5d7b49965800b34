#pragma once
// The cutting-stock problem inside plan_bars, in whole numbers: items are
// distinct lengths with the kerf added, stock sizes are capacities with the
// trim taken off and one kerf given back (the last piece needs no cut after
// it). Solved by column generation over exact knapsacks, an integer plan by
// diving on the columns and by branch and cut, with first-fit decreasing as
// the plan that is always there.

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ufhost::plan {

struct CutItem {
  std::int64_t weight = 0;  // length + kerf
  std::int64_t demand = 0;
};

struct CutStock {
  std::int64_t capacity = 0;  // length - 2 trim + kerf
  std::int64_t cost = 0;      // micrometres bought, or millionths paid; 0 for a free offcut
  std::int64_t limit = -1;    // -1 as many as wanted
};

// One way to cut a stock size, used `count` times: (item, copies), by item.
struct Cut {
  std::size_t stock = 0;
  std::int64_t count = 0;
  std::vector<std::pair<std::size_t, std::int64_t>> items;
};

struct CutProblem {
  std::vector<CutItem> items;    // by weight, longest first; each fits some stock
  std::vector<CutStock> stocks;
};

struct CutSolution {
  std::vector<Cut> cuts;             // may produce more than the demand; callers trim
  std::vector<std::int64_t> missing; // per item, not cut because the stock ran out
  std::int64_t cost = 0;             // of the cuts, exact
  std::int64_t bound = 0;            // no plan meeting every demand costs less
  bool bound_proven_optimal = false; // cost == bound and nothing missing
  bool timed_out = false;
  std::string method;
};

struct CutBudget {
  std::chrono::steady_clock::time_point deadline;
  // Work spent deciding, in iterations, so that a plan does not depend on how
  // fast the machine is unless the deadline comes first.
  int max_generation_rounds = 4000;
  int max_dive_steps = 400;  // steps of the dives, each followed by generation
  int max_mip_nodes = 500;
};

// The greatest common divisor of the costs of sizes that may be cut: every
// plan's cost is a multiple of it, so a bound rounds up to one.
std::int64_t cost_quantum(const CutProblem& problem);

// First-fit decreasing on identical bars grouped, so that a million copies of
// a piece cost no more than one. Opens the size with the least cost per unit
// of capacity among those that hold the piece and are left.
CutSolution first_fit_decreasing(const CutProblem& problem);

// A bound no plan meeting every demand can beat, from values per item (any
// non-negative numbers: duals, weights) by weak duality with exact knapsacks.
// Rounded up to the cost quantum. Returns -1 when nothing can be said.
std::int64_t bound_from_values(const CutProblem& problem, const std::vector<std::int64_t>& values);

// The best plan found within the budget, with its bound. `start`, when
// given, is a plan to beat (cuts of this problem's items and sizes).
CutSolution solve_cutting(const CutProblem& problem, const CutBudget& budget,
                          const std::vector<Cut>* start = nullptr);

}  // namespace ufhost::plan

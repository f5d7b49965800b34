#pragma once
// Cutting plans for bars: how many bars of each length to cut, and where
// every piece lies in them, with a proven lower bound on what any plan costs.

#include <vector>

#include "ufhost/plan/plan.h"

namespace ufhost::plan {

// Plans the pieces (lengths; width 0) in the stock (bar lengths; width 0).
// A bar loses `settings.trim` at each end (the trim includes its cut), and
// neighbouring pieces lie at least `settings.kerf` apart; the last piece may
// end at length - trim. Offcuts (Stock::offcut) are used when they save cost.
//
// Minimises cost when any size bought has a price (Objective::kCost), else
// the length of bar bought (Objective::kMaterial; offcuts are free). Ties go
// to fewer bars, then to the longest offcut. Plan::value and lower_bound are
// in currency units, or metres of bar; the bound is proven by weak duality
// from an exact knapsack, and `optimal` is decided in whole numbers. When
// pieces are missing because every size that holds them ran out, the bound is
// that of cutting the pieces placed.
//
// A piece no size holds goes to Plan::unplaced. Never returns without a plan:
// first-fit decreasing stands when the search fails or time runs out.
//
// Throws std::invalid_argument for input that makes no plan: lengths not in
// (0, kMaxLength], quantities not in [0, kMaxQuantity], a width, a count
// below -1, a negative price, kerf or trim, a time limit that is negative or
// not a number, or prices on some sizes bought but not on all.
Plan plan_bars(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
               const Settings& settings);

}  // namespace ufhost::plan

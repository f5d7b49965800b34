#pragma once
// An exact search for a plan that costs no more than a target, one bar at a
// time (bin completion): the longest piece left opens a bar, and the bar is
// filled in every way whose waste the target can still afford, fullest first.
// It is quick when the target leaves little slack (the plan must fill its
// bars nearly whole), which is where diving on a relaxation fails: at the
// end of a dive the relaxation still finds fractions of perfect bars when no
// whole set of them is left.

#include <cstdint>
#include <vector>

#include "ufhost/plan/bars/bars_cg.h"

namespace ufhost::plan {

enum class FillStatus {
  kFound,   // `cuts` meet the demand at no more than the target
  kNone,    // no plan meets the demand at no more than the target (proven)
  kGaveUp,  // the work ran out first
};

struct FillResult {
  FillStatus status = FillStatus::kGaveUp;
  std::vector<Cut> cuts;  // when found: one cut per bar, in the order opened
  std::int64_t work = 0;  // spent, in search nodes and completions tried
};

// Plans `demand` (per item of `problem`) in what is `left` of each size (-1
// as many as wanted) at a cost of at most `target`, in the problem's cost
// units. Costs and capacities are weighed exactly: the waste a bar may have
// is measured against the cheapest size per unit of capacity, so the search
// works for several sizes and prices too, but it is meant for one size.
// Inputs:
//   work  how many nodes and completions may be spent; past it kGaveUp
FillResult fill_bars(const CutProblem& problem, const std::vector<std::int64_t>& demand,
                     const std::vector<std::int64_t>& left, std::int64_t target, std::int64_t work);

// A plan made one bar at a time, each bar as full as it can be: the longest
// piece left opens it, and a subset sum over the pieces left fills the rest
// (exactly when it can, longer pieces first). Of the sizes that hold the
// piece, the one with the least cost per length placed is cut. Where many
// short pieces are wanted this wastes almost nothing until the last bars,
// which is where first-fit decreasing loses a bar or two.
// Inputs:
//   work  how many words of subset-sum tables may be spent
// Output: the cuts, each bar repeated as long as the pieces and the size
// last. It stops early when the work is spent or no size left holds the
// longest piece; the caller plans what is still wanted.
std::vector<Cut> fill_each_bar(const CutProblem& problem, std::int64_t work);

}  // namespace ufhost::plan

#pragma once
// The bounded knapsack in whole numbers: which pieces, how many of each, fill
// one bar for the most value. The cutting plan's lower bound rests on the
// answer being exact, or on `upper` being a proven ceiling when it is not, so
// nothing here is decided in floating point.

#include <cstdint>
#include <vector>

namespace ufhost::plan {

struct KnapsackItem {
  std::int64_t weight = 0;  // > 0
  std::int64_t value = 0;   // >= 0; items worth nothing are left out
  std::int64_t bound = 0;   // copies at most, >= 0
};

struct KnapsackSolution {
  std::int64_t value = 0;          // of `take`
  std::int64_t upper = 0;          // no packing is worth more; == value when proven optimal
  std::vector<std::int64_t> take;  // copies of each item, in the caller's order
  // Other good packings, when asked for. When the table was used: for each
  // of the items, the best packing that holds at least one of it, best first.
  // Else, for each of the first items by value per weight, that item with
  // the room it leaves filled greedily by value per weight.
  std::vector<std::vector<std::int64_t>> others;
};

// Most value of copies of the items whose weights sum to at most `capacity`.
// Weights are first divided by their greatest common divisor; then a dynamic
// programme over the capacity is used when its table is small, else a
// depth-first branch and bound on the linear-relaxation bound.
// Inputs:
//   items      the caller must keep the sum of bound*value below 2^62
//   capacity   >= 0
//   work       how many table cells or search nodes may be spent; past it
//              the best packing found is returned with a proven `upper`
//   others     how many other packings to return at most (see above)
KnapsackSolution solve_knapsack(const std::vector<KnapsackItem>& items, std::int64_t capacity,
                                std::int64_t work = 50'000'000, int others = 0);

}  // namespace ufhost::plan

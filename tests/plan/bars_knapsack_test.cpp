// The pieces the bar plan's bound rests on: the exact knapsack and the bound
// from values per item.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "ufhost/plan/bars/bars_cg.h"
#include "ufhost/plan/bars/knapsack.h"

namespace ufhost::plan {
namespace {

struct Lcg {
  std::uint64_t state;
  std::int64_t next(std::int64_t lo, std::int64_t hi) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return lo + static_cast<std::int64_t>((state >> 33) % static_cast<std::uint64_t>(hi - lo + 1));
  }
};

// Every packing tried, for a handful of items.
std::int64_t brute_force(const std::vector<KnapsackItem>& items, std::int64_t capacity, std::size_t i = 0) {
  if (i == items.size()) return 0;
  std::int64_t best = 0;
  for (std::int64_t c = 0; c <= items[i].bound && c * items[i].weight <= capacity; ++c)
    best = std::max(best, c * items[i].value + brute_force(items, capacity - c * items[i].weight, i + 1));
  return best;
}

TEST(Knapsack, ExactByTableAndBySearchAndCeilingWhenCutShort) {
  Lcg rng{42};
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    std::vector<KnapsackItem> items;
    const int n = static_cast<int>(rng.next(1, 6));
    const std::int64_t unit = rng.next(1, 3) * 1000;  // a common divisor to take out
    for (int i = 0; i < n; ++i)
      items.push_back({rng.next(1, 40) * unit, rng.next(0, 1'000'000'000), rng.next(0, 4)});
    const std::int64_t capacity = rng.next(0, 100) * unit + rng.next(0, unit - 1);
    const std::int64_t best = brute_force(items, capacity);
    // A large budget takes the table; a table too large for the budget, the
    // search; no budget at all leaves only the greedy packing and its ceiling.
    for (const std::int64_t work : {std::int64_t{50'000'000}, std::int64_t{1}, std::int64_t{0}}) {
      const KnapsackSolution s = solve_knapsack(items, capacity, work, 3);
      std::int64_t weight = 0, value = 0;
      for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_GE(s.take[i], 0);
        EXPECT_LE(s.take[i], items[i].bound);
        weight += s.take[i] * items[i].weight;
        value += s.take[i] * items[i].value;
      }
      EXPECT_LE(weight, capacity);
      EXPECT_EQ(value, s.value);
      EXPECT_GE(s.upper, best);  // the bound is sound even when cut short
      if (s.upper == s.value) {
        EXPECT_EQ(s.value, best);
      }
      if (work > 1000) {
        EXPECT_EQ(s.value, best);
      }
      // Other packings come from the table, or (cut short) greedily around
      // each item; either way they fit.
      for (const auto& other : s.others) {
        std::int64_t w = 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
          w += other[i] * items[i].weight;
          EXPECT_GE(other[i], 0);
          EXPECT_LE(other[i], items[i].bound);
        }
        EXPECT_LE(w, capacity);
      }
    }
  }
}

TEST(Knapsack, BoundNeverAbovePlans) {
  // Any values give a bound below every plan; values equal to the weights give
  // the continuous bound, rounded up to whole bars.
  Lcg rng{7};
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    CutProblem problem;
    const int n = static_cast<int>(rng.next(1, 8));
    for (int i = 0; i < n; ++i) problem.items.push_back({rng.next(100, 600), rng.next(1, 30)});
    std::sort(problem.items.begin(), problem.items.end(),
              [](const CutItem& a, const CutItem& b) { return a.weight > b.weight; });
    problem.stocks.push_back({1000, 1000, -1});
    if (round % 2) problem.stocks.push_back({700, rng.next(500, 900), rng.next(0, 20)});
    const CutSolution ffd = first_fit_decreasing(problem);
    std::vector<std::int64_t> values;
    for (int i = 0; i < n; ++i) values.push_back(rng.next(0, 1'000'000));
    EXPECT_LE(bound_from_values(problem, values), ffd.cost);
    CutBudget budget;
    budget.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    budget.max_dive_steps = 40;
    const CutSolution solved = solve_cutting(problem, budget);
    EXPECT_LE(solved.bound, solved.cost);
    EXPECT_LE(solved.cost, ffd.cost);
    if (round % 2 == 0) {
      std::int64_t total = 0;
      for (const CutItem& item : problem.items) total += item.weight * item.demand;
      EXPECT_GE(solved.bound, (total + 999) / 1000 * 1000);
    }
  }
}

}  // namespace
}  // namespace ufhost::plan

#include "ufhost/plan/bars/bars_cg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace ufhost::plan {
namespace {

// Deterministic draws in [lo, hi].
struct Draw {
  std::uint64_t state;
  std::int64_t next(std::int64_t lo, std::int64_t hi) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return lo + static_cast<std::int64_t>((state >> 33) % static_cast<std::uint64_t>(hi - lo + 1));
  }
};

// Longest first, as plan_bars hands them over; two sizes, the smaller one
// limited and sometimes the larger too, so that stock runs out now and then.
CutProblem drawn(Draw& draw, bool scarce) {
  CutProblem problem;
  const int n = static_cast<int>(draw.next(1, 10));
  for (int i = 0; i < n; ++i) problem.items.push_back({draw.next(80, 650), draw.next(1, 20)});
  std::sort(problem.items.begin(), problem.items.end(),
            [](const CutItem& a, const CutItem& b) { return a.weight > b.weight; });
  problem.stocks.push_back({1000, 1000, scarce ? draw.next(1, 12) : -1});
  problem.stocks.push_back({700, draw.next(600, 800), draw.next(0, 8)});
  return problem;
}

CutBudget generous() {
  CutBudget budget;
  budget.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  budget.max_dive_steps = 40;
  return budget;
}

// Whatever the search did inside, what it hands back must add up: cuts within
// the sizes and their limits, cost and missing as the cuts make them, the
// bound below a complete plan, and the plan no worse than the one it was given.
TEST(SolveCutting, PlansAddUpWithinTheStock) {
  Draw draw{11};
  for (int round = 0; round < 16; ++round) {
    SCOPED_TRACE(round);
    const CutProblem problem = drawn(draw, round % 3 == 0);
    const CutSolution ffd = first_fit_decreasing(problem);
    const CutSolution solved = solve_cutting(problem, generous(), &ffd.cuts);
    std::vector<std::int64_t> made(problem.items.size(), 0), bars(problem.stocks.size(), 0);
    std::int64_t cost = 0;
    for (const Cut& cut : solved.cuts) {
      ASSERT_LT(cut.stock, problem.stocks.size());
      std::int64_t load = 0;
      for (const auto& [item, copies] : cut.items) {
        load += problem.items[item].weight * copies;
        made[item] += copies * cut.count;
      }
      EXPECT_LE(load, problem.stocks[cut.stock].capacity);
      bars[cut.stock] += cut.count;
      cost += cut.count * problem.stocks[cut.stock].cost;
    }
    for (std::size_t k = 0; k < problem.stocks.size(); ++k) {
      if (problem.stocks[k].limit >= 0) {
        EXPECT_LE(bars[k], problem.stocks[k].limit) << "size " << k;
      }
    }
    EXPECT_EQ(cost, solved.cost);
    ASSERT_EQ(solved.missing.size(), problem.items.size());
    std::int64_t missing_weight = 0, ffd_missing_weight = 0;
    for (std::size_t i = 0; i < problem.items.size(); ++i) {
      EXPECT_EQ(solved.missing[i], std::max<std::int64_t>(0, problem.items[i].demand - made[i])) << "item " << i;
      missing_weight += solved.missing[i] * problem.items[i].weight;
      ffd_missing_weight += ffd.missing[i] * problem.items[i].weight;
    }
    EXPECT_LE(missing_weight, ffd_missing_weight);
    if (missing_weight == 0) {
      EXPECT_LE(solved.bound, solved.cost);
      EXPECT_LE(solved.cost, ffd.cost);
      EXPECT_EQ(solved.bound_proven_optimal, solved.cost <= solved.bound);
    } else {
      EXPECT_FALSE(solved.bound_proven_optimal);
    }
  }
}

// The search counts its work and reads the clock only as a guard: with time
// to spare, the same problem gives the same cuts, found the same way.
TEST(SolveCutting, SameProblemSameCuts) {
  Draw draw{29};
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    const CutProblem problem = drawn(draw, round % 2 == 0);
    const CutSolution a = solve_cutting(problem, generous());
    const CutSolution b = solve_cutting(problem, generous());
    ASSERT_EQ(a.cuts.size(), b.cuts.size());
    for (std::size_t c = 0; c < a.cuts.size(); ++c) {
      EXPECT_EQ(a.cuts[c].stock, b.cuts[c].stock);
      EXPECT_EQ(a.cuts[c].count, b.cuts[c].count);
      EXPECT_EQ(a.cuts[c].items, b.cuts[c].items);
    }
    EXPECT_EQ(a.bound, b.bound);
    EXPECT_EQ(a.method, b.method);
  }
}

}  // namespace
}  // namespace ufhost::plan

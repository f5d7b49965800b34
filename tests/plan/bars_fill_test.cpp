// The exact search for bars filled within a target (bin completion), held
// to every partition of a few pieces, and the dives' use of it.

#include "ufhost/plan/bars/bars_fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <vector>

#include "ufhost/plan/bars/bars_cg.h"

namespace ufhost::plan {
namespace {

struct Lcg {
  std::uint64_t state;
  std::int64_t next(std::int64_t lo, std::int64_t hi) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return lo + static_cast<std::int64_t>((state >> 33) % static_cast<std::uint64_t>(hi - lo + 1));
  }
};

// Pieces (weights, longest first) as the problem's items, with their demand.
CutProblem problem_of(std::vector<std::int64_t> pieces, std::vector<CutStock> stocks) {
  std::sort(pieces.begin(), pieces.end(), std::greater<>());
  CutProblem problem;
  for (const std::int64_t w : pieces) {
    if (!problem.items.empty() && problem.items.back().weight == w)
      ++problem.items.back().demand;
    else
      problem.items.push_back({w, 1});
  }
  problem.stocks = std::move(stocks);
  return problem;
}

std::vector<std::int64_t> demand_of(const CutProblem& problem) {
  std::vector<std::int64_t> d;
  for (const CutItem& item : problem.items) d.push_back(item.demand);
  return d;
}

std::vector<std::int64_t> limits_of(const CutProblem& problem) {
  std::vector<std::int64_t> l;
  for (const CutStock& s : problem.stocks) l.push_back(s.limit);
  return l;
}

// The least cost of any plan, trying every partition of the pieces into
// bars: f[set][u] is the least cost of the pieces in `set` using u bars of
// the second size (the only one with a limit). -1 when there is none.
std::int64_t cheapest(const std::vector<std::int64_t>& pieces, const std::vector<CutStock>& stocks) {
  const std::size_t n = pieces.size();
  const std::size_t full = (std::size_t{1} << n) - 1;
  const std::int64_t limit = stocks.size() > 1 ? stocks[1].limit : 0;
  constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
  std::vector<std::vector<std::int64_t>> f(full + 1, std::vector<std::int64_t>(static_cast<std::size_t>(limit) + 1, kNone));
  std::vector<std::int64_t> load(full + 1, 0);
  for (std::size_t set = 1; set <= full; ++set)
    for (std::size_t p = 0; p < n; ++p)
      if (set >> p & 1) load[set] += pieces[p];
  for (auto& u : f[0]) u = 0;
  for (std::size_t set = 1; set <= full; ++set) {
    const std::size_t low = set & (~set + 1);  // the first piece opens a bar
    for (std::size_t bar = set; bar > 0; bar = (bar - 1) & set) {
      if (!(bar & low)) continue;
      for (std::size_t u = 0; u <= static_cast<std::size_t>(limit); ++u) {
        if (load[bar] <= stocks[0].capacity && f[set ^ bar][u] != kNone)
          f[set][u] = std::min(f[set][u], f[set ^ bar][u] + stocks[0].cost);
        if (u > 0 && stocks.size() > 1 && load[bar] <= stocks[1].capacity && f[set ^ bar][u - 1] != kNone)
          f[set][u] = std::min(f[set][u], f[set ^ bar][u - 1] + stocks[1].cost);
      }
    }
  }
  std::int64_t best = kNone;
  for (const std::int64_t c : f[full]) best = std::min(best, c);
  return best == kNone ? -1 : best;
}

// The cuts meet the demand exactly, fit their sizes and the counts, and cost
// at most `target`.
void expect_plan(const CutProblem& problem, const std::vector<Cut>& cuts, std::int64_t target) {
  std::vector<std::int64_t> made(problem.items.size(), 0), used(problem.stocks.size(), 0);
  std::int64_t cost = 0;
  for (const Cut& cut : cuts) {
    std::int64_t load = 0;
    for (const auto& [item, copies] : cut.items) {
      made[item] += copies * cut.count;
      load += copies * problem.items[item].weight;
    }
    EXPECT_LE(load, problem.stocks[cut.stock].capacity);
    used[cut.stock] += cut.count;
    cost += cut.count * problem.stocks[cut.stock].cost;
  }
  for (std::size_t i = 0; i < made.size(); ++i) EXPECT_EQ(made[i], problem.items[i].demand) << "item " << i;
  for (std::size_t k = 0; k < used.size(); ++k) {
    if (problem.stocks[k].limit >= 0) {
      EXPECT_LE(used[k], problem.stocks[k].limit);
    }
  }
  EXPECT_LE(cost, target);
}

TEST(FillBars, FindsTheCheapestPlanAndProvesThereIsNoneBelowIt) {
  Lcg rng{11};
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::int64_t> pieces;
    const int n = static_cast<int>(rng.next(1, 9));
    for (int p = 0; p < n; ++p) pieces.push_back(rng.next(1, 10) * 50 + (round % 3 == 0 ? rng.next(0, 49) : 0));
    // One size bought as wanted; every other round a second, shorter or
    // longer, dearer or cheaper per length, with a few in the rack.
    std::vector<CutStock> stocks{{1000, 1000, -1}};
    if (round % 2) stocks.push_back({rng.next(5, 13) * 100, rng.next(4, 14) * 100, rng.next(0, 3)});
    const CutProblem problem = problem_of(pieces, stocks);
    const std::int64_t best = cheapest(pieces, stocks);
    ASSERT_GT(best, 0);
    const FillResult at = fill_bars(problem, demand_of(problem), limits_of(problem), best, 10'000'000);
    ASSERT_EQ(at.status, FillStatus::kFound);
    expect_plan(problem, at.cuts, best);
    const FillResult below = fill_bars(problem, demand_of(problem), limits_of(problem), best - 1, 10'000'000);
    EXPECT_EQ(below.status, FillStatus::kNone);
  }
}

TEST(FillBars, PerfectBarsWhereFirstFitDecreasingWastes) {
  // 380+320+300, 360+340+300, 350+330+320: three full bars of 1000, where
  // first-fit decreasing needs four.
  const CutProblem problem = problem_of({380, 320, 300, 360, 340, 300, 350, 330, 320}, {{1000, 1000, -1}});
  EXPECT_EQ(first_fit_decreasing(problem).cost, 4000);
  const FillResult three = fill_bars(problem, demand_of(problem), limits_of(problem), 3000, 1'000'000);
  ASSERT_EQ(three.status, FillStatus::kFound);
  EXPECT_EQ(three.cuts.size(), 3u);
  expect_plan(problem, three.cuts, 3000);
  // The same pieces with only two bars of 1000 in the rack and no other
  // size: no plan at all, whatever it may cost.
  CutProblem rack = problem;
  rack.stocks[0].limit = 2;
  EXPECT_EQ(fill_bars(rack, demand_of(rack), limits_of(rack), 1'000'000, 1'000'000).status, FillStatus::kNone);
  // Nothing wanted: found at once, with no bars.
  const std::vector<std::int64_t> none(problem.items.size(), 0);
  const FillResult empty = fill_bars(problem, none, limits_of(problem), 0, 10);
  EXPECT_EQ(empty.status, FillStatus::kFound);
  EXPECT_TRUE(empty.cuts.empty());
}

TEST(FillBars, NeverClaimsNoneWhenCutShort) {
  // Sixty pieces in twenty perfect bars of 1000, and a target one bar short:
  // with little work the search gives up rather than say there is none.
  Lcg rng{5};
  std::vector<std::int64_t> pieces;
  for (int b = 0; b < 20; ++b) {
    const std::int64_t first = rng.next(380, 490), second = rng.next(250, (1000 - first) / 2);
    pieces.insert(pieces.end(), {first, second, 1000 - first - second});
  }
  const CutProblem problem = problem_of(pieces, {{1000, 1000, -1}});
  const FillResult short_of_work = fill_bars(problem, demand_of(problem), limits_of(problem), 20'000, 50);
  EXPECT_EQ(short_of_work.status, FillStatus::kGaveUp);
  EXPECT_LE(short_of_work.work, 51);
  // Nineteen bars cannot hold twenty bars' worth: no search needed.
  EXPECT_EQ(fill_bars(problem, demand_of(problem), limits_of(problem), 19'000, 50).status, FillStatus::kNone);
  const FillResult enough = fill_bars(problem, demand_of(problem), limits_of(problem), 20'000, 20'000'000);
  ASSERT_EQ(enough.status, FillStatus::kFound);
  expect_plan(problem, enough.cuts, 20'000);
}

TEST(FillEachBar, FullBarsWhereFirstFitDecreasingLeavesGaps) {
  // 6+3 and 3+2+2+2 leave a 2 for a third bar; 6+2+2 and 3+3+2+2 fill two.
  const CutProblem problem = problem_of({6, 3, 3, 2, 2, 2, 2}, {{10, 10, -1}});
  EXPECT_EQ(first_fit_decreasing(problem).cost, 30);
  const std::vector<Cut> cuts = fill_each_bar(problem, 1'000'000);
  expect_plan(problem, cuts, 20);
  // A million copies: each bar is cut as often as it can be, so the plan
  // is a handful of cuts: 7 x 140 = 980 until the 140s run short, then
  // 7 x 130. No bar holds 8 pieces (8 x 130 > 1000), so no plan has fewer
  // than 2,000,001 / 7 bars, rounded up: 285,715.
  CutProblem many = problem_of({}, {{1000, 1000, -1}});
  many.items = {{140, 1'000'000}, {130, 1'000'001}};
  const std::vector<Cut> grouped = fill_each_bar(many, 1'000'000);
  EXPECT_LE(grouped.size(), 4u);
  std::int64_t bars = 0;
  for (const Cut& cut : grouped) bars += cut.count;
  EXPECT_EQ(bars, 285'715);
  expect_plan(many, grouped, 285'715 * 1000);
  // No work at all: nothing planned, and the caller plans the rest.
  EXPECT_TRUE(fill_each_bar(problem, 0).empty());
}

TEST(FillEachBar, CheapestPerLengthPlacedAndNeverPastTheStock) {
  // A bar of 1000 at 1000 and one of 600 at 500: 550 alone goes to the
  // short one (500 for 550 placed beats 1000 for 550).
  const CutProblem one = problem_of({550}, {{1000, 1000, -1}, {600, 500, -1}});
  const std::vector<Cut> cuts = fill_each_bar(one, 1'000'000);
  ASSERT_EQ(cuts.size(), 1u);
  EXPECT_EQ(cuts[0].stock, 1u);
  // Random pieces and sizes, some limited: every bar fits, nothing is cut
  // twice, no size past its count.
  Lcg rng{3};
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::int64_t> pieces;
    const int n = static_cast<int>(rng.next(1, 40));
    for (int p = 0; p < n; ++p) pieces.push_back(rng.next(1, 700) * 3);
    std::vector<CutStock> stocks{{rng.next(700, 1000) * 3, rng.next(1, 9) * 100, rng.next(-1, 10)},
                                 {rng.next(300, 1000) * 3, rng.next(1, 9) * 100, rng.next(-1, 10)}};
    const CutProblem problem = problem_of(pieces, stocks);
    std::vector<std::int64_t> made(problem.items.size(), 0), used(stocks.size(), 0);
    for (const Cut& cut : fill_each_bar(problem, 10'000'000)) {
      std::int64_t load = 0;
      for (const auto& [item, copies] : cut.items) {
        made[item] += copies * cut.count;
        load += copies * problem.items[item].weight;
      }
      EXPECT_LE(load, stocks[cut.stock].capacity);
      used[cut.stock] += cut.count;
    }
    for (std::size_t i = 0; i < made.size(); ++i) EXPECT_LE(made[i], problem.items[i].demand);
    for (std::size_t k = 0; k < stocks.size(); ++k) {
      if (stocks[k].limit >= 0) {
        EXPECT_LE(used[k], stocks[k].limit);
      }
    }
  }
}

}  // namespace
}  // namespace ufhost::plan

#include "ufhost/plan/bars/bars_cg.h"

// [SECTION] Plans in whole numbers: cost, missing pieces, which plan is better
// [SECTION] First-fit decreasing on groups of identical bars
// [SECTION] The bound from values per item
// [SECTION] solve_cutting
// The master programme, pricing and the dives are in files of their own
// (see bars_cg_internal.h).

#include <algorithm>
#include <limits>
#include <numeric>

#include "ufhost/plan/bars/bars_cg_internal.h"
#include "ufhost/plan/bars/bars_fill.h"
#include "ufhost/plan/bars/knapsack.h"

namespace ufhost::plan::cg {
namespace {

Wide missing_weight(const CutProblem& problem, const CutSolution& s) {
  Wide total = 0;
  for (std::size_t i = 0; i < s.missing.size(); ++i)
    total += Wide(s.missing[i]) * problem.items[i].weight;
  return total;
}

std::int64_t bars(const CutSolution& s) {
  std::int64_t n = 0;
  for (const Cut& cut : s.cuts) n += cut.count;
  return n;
}


struct Group {
  std::size_t stock = 0;
  std::int64_t count = 0;
  std::int64_t room = 0;
  std::vector<std::pair<std::size_t, std::int64_t>> items;
};

// Cheapest per unit of capacity among the sizes that hold `weight` and are
// left; offcuts that cost nothing come first. -1 when none is left.
int size_to_open(const CutProblem& problem, const std::vector<std::int64_t>& left,
                 std::int64_t weight) {
  int best = -1;
  for (std::size_t k = 0; k < problem.stocks.size(); ++k) {
    const CutStock& s = problem.stocks[k];
    if (!usable(s) || s.capacity < weight || left[k] == 0) continue;
    if (best >= 0) {
      const CutStock& b = problem.stocks[static_cast<std::size_t>(best)];
      const Wide lhs = Wide(s.cost) * b.capacity, rhs = Wide(b.cost) * s.capacity;
      if (lhs > rhs || (lhs == rhs && s.capacity <= b.capacity)) continue;
    }
    best = static_cast<int>(k);
  }
  return best;
}

bool mul(Wide a, Wide b, Wide* out) { return !__builtin_mul_overflow(a, b, out); }

}  // namespace

// [SECTION] Plans in whole numbers

void finish(const CutProblem& problem, CutSolution* s) {
  std::vector<std::int64_t> made(problem.items.size(), 0);
  s->cost = 0;
  for (const Cut& cut : s->cuts) {
    s->cost += cut.count * problem.stocks[cut.stock].cost;
    for (const auto& [item, copies] : cut.items) made[item] += copies * cut.count;
  }
  s->missing.assign(problem.items.size(), 0);
  for (std::size_t i = 0; i < made.size(); ++i)
    s->missing[i] = std::max<std::int64_t>(0, problem.items[i].demand - made[i]);
}

// More placed (by length), then cheaper, then fewer bars.
bool better(const CutProblem& problem, const CutSolution& a, const CutSolution& b) {
  const Wide ma = missing_weight(problem, a), mb = missing_weight(problem, b);
  if (ma != mb) return ma < mb;
  if (a.cost != b.cost) return a.cost < b.cost;
  return bars(a) < bars(b);
}

bool complete(const CutSolution& s) {
  return std::all_of(s.missing.begin(), s.missing.end(), [](std::int64_t m) { return m == 0; });
}

// [SECTION] First-fit decreasing on groups of identical bars

CutSolution ffd_on(const CutProblem& problem, const std::vector<std::int64_t>& demand,
                   std::vector<std::int64_t> left) {
  std::vector<Group> groups;
  for (std::size_t i = 0; i < problem.items.size(); ++i) {
    const std::int64_t w = problem.items[i].weight;
    std::int64_t want = demand[i];
    for (std::size_t g = 0; g < groups.size() && want > 0; ++g) {
      const std::int64_t per = std::min(groups[g].room / w, want);
      if (per == 0) continue;
      const std::int64_t full = want / per;
      if (full >= groups[g].count) {
        groups[g].items.emplace_back(i, per);
        groups[g].room -= per * w;
        want -= per * groups[g].count;
        continue;
      }
      // The first `full` bars of the group take `per`, one more takes the
      // rest, and the others stay as they were.
      Group head = groups[g];
      head.count = full;
      head.items.emplace_back(i, per);
      head.room -= per * w;
      const std::int64_t rest = want - full * per;
      Group one = groups[g];
      one.count = 1;
      one.items.emplace_back(i, rest);
      one.room -= rest * w;
      groups[g].count -= full + (rest > 0 ? 1 : 0);
      std::vector<Group> inserted;
      if (full > 0) inserted.push_back(std::move(head));
      if (rest > 0) inserted.push_back(std::move(one));
      groups.insert(groups.begin() + static_cast<std::ptrdiff_t>(g), inserted.begin(),
                    inserted.end());
      if (groups[g + inserted.size()].count == 0)
        groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(g + inserted.size()));
      want = 0;
    }
    while (want > 0) {
      const int k = size_to_open(problem, left, w);
      if (k < 0) break;
      const CutStock& s = problem.stocks[static_cast<std::size_t>(k)];
      const std::int64_t per = std::min(s.capacity / w, want);
      std::int64_t n = want / per;
      if (left[static_cast<std::size_t>(k)] >= 0) n = std::min(n, left[static_cast<std::size_t>(k)]);
      Group g;
      g.stock = static_cast<std::size_t>(k);
      g.count = n;
      g.items.emplace_back(i, per);
      g.room = s.capacity - per * w;
      if (left[g.stock] >= 0) left[g.stock] -= n;
      want -= n * per;
      groups.push_back(std::move(g));
    }
  }
  CutSolution out;
  for (Group& g : groups) {
    if (g.count == 0) continue;
    out.cuts.push_back({g.stock, g.count, std::move(g.items)});
  }
  finish(problem, &out);
  out.method = "first-fit decreasing";
  return out;
}

std::vector<std::int64_t> limits(const CutProblem& problem) {
  std::vector<std::int64_t> left;
  for (const CutStock& s : problem.stocks) left.push_back(s.capacity > 0 ? s.limit : 0);
  return left;
}

// [SECTION] The bound from values per item

// Weak duality for the pattern formulation: with values y per item and the
// most any pattern of size k is worth, V_k (an exact knapsack, or a proven
// ceiling on it), every t >= 0 with t V_k <= c_k on the sizes without limit
// gives the bound t * sum(d y) - sum over limited sizes of u_k max(0, t V_k - c_k).
// It is concave in t, so its best is at a breakpoint t = c_k / V_k.
std::int64_t bound_with(const CutProblem& problem, const std::vector<std::int64_t>& values,
                        const std::vector<std::int64_t>& most, std::int64_t quantum) {
  if (quantum <= 0) return 0;
  Wide total = 0;
  for (std::size_t i = 0; i < problem.items.size(); ++i)
    total += Wide(problem.items[i].demand) * values[i];
  if (total <= 0) return 0;
  bool capped = false;
  Wide cap_p = 0, cap_q = 1;
  for (std::size_t k = 0; k < problem.stocks.size(); ++k) {
    const CutStock& s = problem.stocks[k];
    if (!usable(s) || s.limit >= 0 || most[k] <= 0) continue;
    if (!capped || Wide(s.cost) * cap_q < cap_p * most[k]) {
      cap_p = s.cost;
      cap_q = most[k];
      capped = true;
    }
  }
  std::vector<std::pair<Wide, Wide>> candidates;
  if (capped) candidates.emplace_back(cap_p, cap_q);
  for (std::size_t k = 0; k < problem.stocks.size(); ++k) {
    const CutStock& s = problem.stocks[k];
    if (!usable(s) || s.limit < 0 || most[k] <= 0) continue;
    if (!capped || Wide(s.cost) * cap_q < cap_p * most[k]) candidates.emplace_back(s.cost, most[k]);
  }
  std::int64_t best = 0;
  for (const auto& [p, q] : candidates) {
    Wide num = 0;
    if (!mul(p, total, &num)) continue;
    bool overflow = false;
    for (std::size_t k = 0; k < problem.stocks.size() && !overflow; ++k) {
      const CutStock& s = problem.stocks[k];
      if (!usable(s) || s.limit < 0 || most[k] <= 0) continue;
      Wide over = 0, paid = 0, times = 0;
      overflow = !mul(p, most[k], &over) || !mul(Wide(s.cost), q, &paid);
      if (overflow || over <= paid) continue;
      overflow = !mul(over - paid, Wide(s.limit), &times);
      num -= times;
    }
    if (overflow || num <= 0) continue;
    const Wide lb = (num + q - 1) / q;
    const Wide rounded = (lb + quantum - 1) / quantum * quantum;
    best = std::max(best, static_cast<std::int64_t>(
                              std::min<Wide>(rounded, std::numeric_limits<std::int64_t>::max() / 4)));
  }
  return best;
}

}  // namespace ufhost::plan::cg

namespace ufhost::plan {

using namespace cg;

namespace {


// Words of subset-sum tables the plan of bars filled one at a time may spend.
constexpr std::int64_t kEachBarWork = 200'000'000;
// Branch and cut on the columns only while they are few: past this its
// root alone can outlast the time limit.
constexpr std::size_t kMostMipColumns = 1500;

// Bars filled one at a time (fill_each_bar), and what that leaves (the work
// ran out, or the stock) by first-fit decreasing.
CutSolution each_bar_filled(const CutProblem& problem) {
  CutSolution out;
  out.cuts = fill_each_bar(problem, kEachBarWork);
  finish(problem, &out);
  if (!complete(out)) {
    std::vector<std::int64_t> left = limits(problem);
    for (const Cut& cut : out.cuts)
      if (left[cut.stock] > 0) left[cut.stock] -= cut.count;
    CutSolution rest = ffd_on(problem, out.missing, left);
    out.cuts.insert(out.cuts.end(), rest.cuts.begin(), rest.cuts.end());
    finish(problem, &out);
  }
  out.method = "bars filled one at a time";
  return out;
}

// The most a pattern of each size is worth under `values`, the patterns
// kept within the demand: exact, or a proven ceiling.
std::vector<std::int64_t> most_per_size(const CutProblem& problem,
                                        const std::vector<std::int64_t>& values) {
  std::vector<std::int64_t> most(problem.stocks.size(), 0);
  for (std::size_t k = 0; k < problem.stocks.size(); ++k) {
    const CutStock& s = problem.stocks[k];
    if (!usable(s)) continue;
    std::vector<KnapsackItem> items;
    for (std::size_t i = 0; i < problem.items.size(); ++i)
      items.push_back({problem.items[i].weight, values[i], problem.items[i].demand});
    most[k] = solve_knapsack(items, s.capacity).upper;
  }
  return most;
}

}  // namespace

// [SECTION] solve_cutting

std::int64_t cost_quantum(const CutProblem& problem) {
  std::int64_t g = 0;
  for (const CutStock& s : problem.stocks)
    if (usable(s)) g = std::gcd(g, s.cost);
  return g;
}

CutSolution first_fit_decreasing(const CutProblem& problem) {
  std::vector<std::int64_t> demand;
  for (const CutItem& item : problem.items) demand.push_back(item.demand);
  return ffd_on(problem, demand, limits(problem));
}

std::int64_t bound_from_values(const CutProblem& problem, const std::vector<std::int64_t>& values) {
  return bound_with(problem, values, most_per_size(problem, values), cost_quantum(problem));
}

CutSolution solve_cutting(const CutProblem& problem, const CutBudget& budget,
                          const std::vector<Cut>* start) {
  Search search{problem, budget, 0, 0, false, 0, {}, false, Clock::time_point::max()};
  search.quantum = cost_quantum(problem);
  search.best = first_fit_decreasing(problem);
  if (start != nullptr) {
    CutSolution given;
    given.cuts = *start;
    finish(problem, &given);
    given.method = "start";
    search.offer(std::move(given));
  }
  std::vector<std::int64_t> weights;
  for (const CutItem& item : problem.items) weights.push_back(item.weight);
  search.bound = bound_from_values(problem, weights);
  if (!search.proven()) search.offer(each_bar_filled(problem));
  if (!search.proven()) {
    try {
      Master master(problem, search.quantum);
      // A first basis: what first-fit decreasing cut, and each piece alone as
      // often as it fits in each size.
      std::vector<Cut> seed = search.best.cuts;
      for (std::size_t k = 0; k < problem.stocks.size(); ++k)
        for (std::size_t i = 0; i < problem.items.size(); ++i) {
          const CutStock& s = problem.stocks[k];
          if (!usable(s) || problem.items[i].weight > s.capacity) continue;
          const std::int64_t copies =
              std::min(problem.items[i].demand, s.capacity / problem.items[i].weight);
          seed.push_back({k, 0, {{i, copies}}});
        }
      master.add(seed);
      // The root's generation may take half the time: where it does not
      // close (thousands of lengths), a plan from dives on the relaxation
      // reached is worth more than its last rounds.
      search.pause = Clock::now() + (budget.deadline - Clock::now()) / 2;
      const bool root = search.generate(master, false, true, true);
      search.pause = Clock::time_point::max();
      if (root && !search.proven() && !search.out_of_time()) {
        dive(search, master, budget.max_dive_steps);
      }
      if (root && !search.proven() && !search.out_of_time() && master.pool().size() <= kMostMipColumns) {
        master.reset();
        search.offer(mip_on_pool(search, master, search.best));
      }
    } catch (const std::exception&) {
      // The plan found so far stands, and so does its bound.
    }
  }
  CutSolution best = std::move(search.best);
  best.bound = search.bound;
  best.bound_proven_optimal = complete(best) && best.cost <= search.bound;
  best.timed_out = search.timed_out;
  return best;
}

}  // namespace ufhost::plan

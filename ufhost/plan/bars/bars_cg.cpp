#include "ufhost/plan/bars/bars_cg.h"

// [SECTION] Plans in whole numbers: cost, missing pieces, which plan is better
// [SECTION] First-fit decreasing on groups of identical bars
// [SECTION] The bound from values per item
// [SECTION] The master linear programme and its columns
// [SECTION] Diving: fix columns the relaxation uses, generate again
// [SECTION] Branch and cut on the columns generated
// [SECTION] solve_cutting

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <numeric>
#include <set>

#include <CbcModel.hpp>
#include <ClpSimplex.hpp>
#include <CoinMessageHandler.hpp>
#include <OsiClpSolverInterface.hpp>

#include "ufhost/plan/bars/bars_fill.h"
#include "ufhost/plan/bars/knapsack.h"

namespace ufhost::plan {
namespace {

__extension__ typedef __int128 Wide;
using Clock = std::chrono::steady_clock;

// A tiny cost per bar in the relaxation, so that among plans of equal cost
// the one with fewer bars is found (free offcuts are cut only when they save).
constexpr double kPerBar = 1e-7;
// Dual values are turned into whole numbers with about this many significant
// bits before the knapsack: enough that rounding them down costs the bound
// nothing that rounding the bound up does not give back.
constexpr double kValueScale = 1099511627776.0;  // 2^40
// Pricing also returns up to this many other good patterns from the knapsack
// (see solve_knapsack): many columns a round close the relaxation sooner.
constexpr int kOthers = 40;
constexpr std::int64_t kKnapsackWork = 50'000'000;
constexpr std::int64_t kQuickKnapsackWork = 2'000'000;
constexpr double kNearlyWhole = 0.8;
// Diving forbids at most this many of the relaxation's choices on a path,
// and this many more on each further pass.
constexpr int kDiscrepancies = 2;
// A rest of at most this many pieces is searched exactly, within this work.
constexpr std::int64_t kFillPieces = 60;
constexpr std::int64_t kFillWork = 2'000'000;
// Words of subset-sum tables the plan of bars filled one at a time may spend.
constexpr std::int64_t kEachBarWork = 200'000'000;
constexpr double kPricingTolerance = 1e-6;
// Branch and cut on the columns only while they are few: past this its
// root alone can outlast the time limit.
constexpr std::size_t kMostMipColumns = 1500;
// The relaxation keeps at most this many pattern columns per row (and at
// least kLeastLpColumns): past it the worst are purged (see Master::purge).
constexpr std::size_t kLpColumnsPerRow = 4;
constexpr std::size_t kLeastLpColumns = 1000;
// How far pricing moves from the relaxation's duals toward the best bound's.
constexpr double kSmoothing = 0.5;

bool usable(const CutStock& s) { return s.limit != 0 && s.capacity > 0; }

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

// [SECTION] The bound from values per item

bool mul(Wide a, Wide b, Wide* out) { return !__builtin_mul_overflow(a, b, out); }

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

// [SECTION] The master linear programme and its columns

std::vector<std::int64_t> key_of(const Cut& cut) {
  std::vector<std::int64_t> key{static_cast<std::int64_t>(cut.stock)};
  for (const auto& [item, copies] : cut.items) {
    key.push_back(static_cast<std::int64_t>(item));
    key.push_back(copies);
  }
  return key;
}

// Rows: one per item (at least its demand still to cut), then one per size
// with a limit (at most what is left). Columns: one artificial per item that
// stands for leaving it out, dearer than any bar, then the patterns.
class Master {
 public:
  Master(const CutProblem& problem, std::int64_t quantum) : problem_(problem) {
    const std::size_t m = problem.items.size();
    double top = 0;
    for (const CutStock& s : problem.stocks)
      if (usable(s)) top = std::max(top, static_cast<double>(s.cost));
    scale_ = quantum > 0 ? top : 0;
    for (const CutStock& s : problem.stocks)
      lp_cost_.push_back((quantum > 0 ? static_cast<double>(s.cost) / scale_ : 1.0) + kPerBar);
    demand_.resize(m);
    left_ = limits(problem);
    std::vector<double> row_lower, row_upper;
    for (std::size_t i = 0; i < m; ++i) {
      demand_[i] = problem.items[i].demand;
      row_lower.push_back(static_cast<double>(demand_[i]));
      row_upper.push_back(COIN_DBL_MAX);
    }
    limit_row_.assign(problem.stocks.size(), -1);
    for (std::size_t k = 0; k < problem.stocks.size(); ++k)
      if (left_[k] > 0) {
        limit_row_[k] = static_cast<int>(row_lower.size());
        row_lower.push_back(-COIN_DBL_MAX);
        row_upper.push_back(static_cast<double>(left_[k]));
      }
    lp_.messageHandler()->setLogLevel(0);
    lp_.resize(static_cast<int>(row_lower.size()), 0);
    for (std::size_t r = 0; r < row_lower.size(); ++r) {
      lp_.setRowLower(static_cast<int>(r), row_lower[r]);
      lp_.setRowUpper(static_cast<int>(r), row_upper[r]);
    }
    // Leaving a piece out costs more than any bar, and more for a longer
    // piece, so that when stock runs out the most length is cut.
    const double longest = static_cast<double>(m > 0 ? problem.items.front().weight : 1);
    std::vector<double> lower, upper, cost, ones;
    std::vector<CoinBigIndex> starts{0};
    std::vector<int> rows;
    for (std::size_t i = 0; i < m; ++i) {
      artificial_cost_.push_back(2.0 + 8.0 * static_cast<double>(problem.items[i].weight) / longest);
      lower.push_back(0);
      upper.push_back(COIN_DBL_MAX);
      cost.push_back(artificial_cost_.back());
      ones.push_back(1.0);
      rows.push_back(static_cast<int>(i));
      starts.push_back(static_cast<CoinBigIndex>(rows.size()));
    }
    lp_.addColumns(static_cast<int>(m), lower.data(), upper.data(), cost.data(), starts.data(),
                   rows.data(), ones.data());
  }

  // Adds the patterns to the relaxation: those not in the pool to both, and
  // those purged from the relaxation back to it. Returns how many columns
  // the relaxation gained.
  int add(const std::vector<Cut>& cuts) {
    std::vector<double> lower, upper, cost, elements;
    std::vector<CoinBigIndex> starts{0};
    std::vector<int> rows;
    for (const Cut& cut : cuts) {
      const auto [at, fresh] = index_.emplace(key_of(cut), pool_.size());
      if (fresh) {
        pool_.push_back({cut.stock, 0, cut.items});
        in_lp_.push_back(false);
        banned_.push_back(false);
      }
      if (in_lp_[at->second] || banned_[at->second]) continue;
      in_lp_[at->second] = true;
      lp_pool_.push_back(at->second);
      lower.push_back(0);
      upper.push_back(COIN_DBL_MAX);
      cost.push_back(lp_cost_[cut.stock]);
      for (const auto& [item, copies] : cut.items) {
        rows.push_back(static_cast<int>(item));
        elements.push_back(static_cast<double>(copies));
      }
      if (limit_row_[cut.stock] >= 0) {
        rows.push_back(limit_row_[cut.stock]);
        elements.push_back(1.0);
      }
      starts.push_back(static_cast<CoinBigIndex>(rows.size()));
    }
    if (!lower.empty())
      lp_.addColumns(static_cast<int>(lower.size()), lower.data(), upper.data(), cost.data(),
                     starts.data(), rows.data(), elements.data());
    return static_cast<int>(lower.size());
  }

  // Re-solves from the last basis: the dual simplex after the right-hand
  // side changed, the primal after columns were added.
  bool solve(bool rhs_changed) {
    if (rhs_changed)
      lp_.dual();
    else
      lp_.primal();
    if (lp_.status() != 0) {
      // A basis gone bad is rare; a cold start settles it.
      lp_.allSlackBasis();
      lp_.primal();
    }
    if (lp_.status() != 0) return false;
    purge();
    return true;
  }

  // The pool columns the relaxation uses, with their values.
  std::vector<std::pair<std::size_t, double>> used() const {
    const double* x = lp_.primalColumnSolution();
    const std::size_t m = problem_.items.size();
    std::vector<std::pair<std::size_t, double>> out;
    for (std::size_t c = 0; c < lp_pool_.size(); ++c)
      if (x[m + c] > 1e-9) out.emplace_back(lp_pool_[c], x[m + c]);
    return out;
  }

  // One round of pricing: the best pattern per size, added when it prices
  // out. The values and the most per size are kept for the bound.
  struct Priced {
    int added = 0;
    bool exact = true;  // every knapsack was solved or shown to find nothing
    double scale = 0;  // values = floor(duals * scale)
    std::vector<std::int64_t> values;
    std::vector<std::int64_t> most;
  };
  // Prices at a point between the duals of the best Lagrangian bound seen
  // (the centre) and the relaxation's duals (Wentges' smoothing): the duals
  // of a degenerate relaxation jump about, and the columns found near the
  // centre close the relaxation in far fewer rounds. A pattern found there
  // is kept only if it prices out at the relaxation's own duals; when none
  // does, pricing is done again at those duals, so no column is missed.
  Priced price(bool exact) {
    const std::size_t m = problem_.items.size();
    const double* dual = lp_.getRowPrice();
    std::vector<double> y(m);
    for (std::size_t i = 0; i < m; ++i) y[i] = demand_[i] > 0 ? std::max(0.0, dual[i]) : 0.0;
    std::vector<double> row_dual(problem_.stocks.size(), 0.0);
    for (std::size_t k = 0; k < problem_.stocks.size(); ++k)
      if (limit_row_[k] >= 0) row_dual[k] = std::min(0.0, dual[limit_row_[k]]);
    if (center_.empty()) center_on_weights();
    Priced out;
    for (const double alpha : {kSmoothing, 0.0}) {
      std::vector<double> at = y;
      if (alpha > 0)
        for (std::size_t i = 0; i < m; ++i) at[i] = alpha * center_[i] + (1 - alpha) * y[i];
      std::vector<Cut> found;
      out = price_at(at, exact, &found);
      // Only patterns that price out at the relaxation's duals make progress.
      std::vector<Cut> improving;
      for (Cut& cut : found) {
        double worth = 0;
        for (const auto& [item, copies] : cut.items) worth += y[item] * static_cast<double>(copies);
        // Below the simplex's own tolerance a column would not enter the
        // basis, and generation would go on adding such columns for ever.
        if (worth > lp_cost_[cut.stock] - row_dual[cut.stock] + kPricingTolerance) improving.push_back(std::move(cut));
      }
      const double value = lagrangian(at, out);
      if (center_.empty() || value > center_value_) {
        center_ = at;
        center_value_ = value;
      }
      out.added = add(improving);
      if (out.added > 0 || alpha == 0) break;
    }
    return out;
  }

  // Forgets the centre, as after the demand changed.
  void forget_center() { center_.clear(); }

  // The first centre: values in proportion to the weights, at the cheapest
  // rate per unit of capacity. No pattern prices out there, so its bound is
  // the continuous one, and for a problem whose bars can all be filled (the
  // usual case) these are the relaxation's own duals: pricing near them
  // closes the relaxation in a fraction of the rounds it takes from the
  // first basis's duals, which value the pieces by what leaving them out costs.
  void center_on_weights() {
    double rate = 0;
    bool any = false;
    for (std::size_t k = 0; k < problem_.stocks.size(); ++k) {
      if (!usable(problem_.stocks[k]) || left_[k] == 0) continue;
      const double r = lp_cost_[k] / static_cast<double>(problem_.stocks[k].capacity);
      if (!any || r < rate) rate = r;
      any = true;
    }
    center_.assign(problem_.items.size(), 0.0);
    center_value_ = 0;
    for (std::size_t i = 0; i < problem_.items.size(); ++i) {
      if (demand_[i] == 0) continue;
      center_[i] = rate * static_cast<double>(problem_.items[i].weight);
      center_value_ += center_[i] * static_cast<double>(demand_[i]);
    }
  }

 private:
  // The best pattern of each size at values `y` (each reported when it beats
  // the size's cost at those values); the values in whole numbers and the
  // most a pattern is worth, for the bound.
  Priced price_at(const std::vector<double>& y, bool exact, std::vector<Cut>* found) {
    const std::size_t m = problem_.items.size();
    double heaviest = 0;
    for (std::size_t k = 0; k < problem_.stocks.size(); ++k) {
      if (!usable(problem_.stocks[k]) || left_[k] == 0) continue;
      double sum = 0;
      for (std::size_t i = 0; i < m; ++i)
        if (problem_.items[i].weight <= problem_.stocks[k].capacity)
          sum += y[i] * static_cast<double>(std::min(
                            demand_[i], problem_.stocks[k].capacity / problem_.items[i].weight));
      heaviest = std::max(heaviest, sum);
    }
    Priced out;
    out.values.assign(m, 0);
    out.most.assign(problem_.stocks.size(), 0);
    if (heaviest <= 0) return out;
    out.scale = kValueScale / heaviest;
    for (std::size_t i = 0; i < m; ++i) out.values[i] = static_cast<std::int64_t>(std::floor(y[i] * out.scale));
    for (std::size_t k = 0; k < problem_.stocks.size(); ++k) {
      if (!usable(problem_.stocks[k]) || left_[k] == 0) continue;
      std::vector<KnapsackItem> items(m);
      for (std::size_t i = 0; i < m; ++i)
        items[i] = {problem_.items[i].weight, out.values[i], demand_[i]};
      // Exact at the root, so that every round's bound counts; in a dive a
      // short search, which is exact too when the table is small.
      const double threshold = lp_cost_[k] * out.scale * (1 - 1e-9);
      KnapsackSolution best = solve_knapsack(items, problem_.stocks[k].capacity,
                                             exact ? kKnapsackWork : kQuickKnapsackWork, kOthers);
      out.most[k] = best.upper;
      if (best.upper != best.value && static_cast<double>(best.upper) > threshold) out.exact = false;
      if (static_cast<double>(best.value) <= threshold) continue;
      best.others.insert(best.others.begin(), best.take);
      for (const std::vector<std::int64_t>& take : best.others) {
        Cut cut;
        cut.stock = k;
        for (std::size_t i = 0; i < m; ++i)
          if (take[i] > 0) cut.items.emplace_back(i, take[i]);
        found->push_back(std::move(cut));
      }
    }
    return out;
  }

  // The Lagrangian bound of what is still to cut at values `y`, in the
  // relaxation's own costs and in floating point: it only picks the centre.
  double lagrangian(const std::vector<double>& y, const Priced& priced) const {
    if (priced.scale <= 0) return 0;
    double total = 0;
    for (std::size_t i = 0; i < y.size(); ++i) total += static_cast<double>(demand_[i]) * y[i];
    double cap = std::numeric_limits<double>::infinity();
    std::vector<double> most(problem_.stocks.size(), 0);
    for (std::size_t k = 0; k < problem_.stocks.size(); ++k) {
      most[k] = static_cast<double>(priced.most[k]) / priced.scale;
      if (usable(problem_.stocks[k]) && left_[k] < 0 && most[k] > 0) cap = std::min(cap, lp_cost_[k] / most[k]);
    }
    std::vector<double> candidates;
    if (std::isfinite(cap)) candidates.push_back(cap);
    for (std::size_t k = 0; k < problem_.stocks.size(); ++k)
      if (left_[k] > 0 && most[k] > 0 && lp_cost_[k] / most[k] < cap) candidates.push_back(lp_cost_[k] / most[k]);
    double best = 0;
    for (const double t : candidates) {
      double value = t * total;
      for (std::size_t k = 0; k < problem_.stocks.size(); ++k)
        if (left_[k] > 0) value -= static_cast<double>(left_[k]) * std::max(0.0, t * most[k] - lp_cost_[k]);
      best = std::max(best, value);
    }
    return best;
  }

 public:
  // The relaxation's value in the problem's cost units (an estimate: floating point).
  double value() const { return lp_.objectiveValue() * (scale_ > 0 ? scale_ : 1.0); }

  // Cuts `count` of pool column `j`: what is left to cut shrinks. The caller
  // keeps within the demand and what is left of the size.
  void fix(std::size_t j, std::int64_t count) { change(j, -count); }

  // Takes back what fix(j, count) cut.
  void unfix(std::size_t j, std::int64_t count) { change(j, count); }

  // Keeps pool column j out of the relaxation, until unban(j): its bound is
  // 0 while it is there, and pricing cannot bring it back.
  void ban(std::size_t j) {
    forget_center();
    banned_[j] = true;
    const int column = lp_column(j);
    if (column >= 0) lp_.setColumnUpper(column, 0.0);
  }

  void unban(std::size_t j) {
    forget_center();
    banned_[j] = false;
    const int column = lp_column(j);
    if (column >= 0) lp_.setColumnUpper(column, COIN_DBL_MAX);
  }

  // Cuts column `j` `count` times as far as what is still wanted allows; the
  // rest of the bars are cut one at a time with what is no longer wanted
  // taken out and the room filled with what is, longest first, so that a
  // column chosen for the relaxation's sake wastes nothing. Returns the
  // (pool column, bars) cut.
  std::vector<std::pair<std::size_t, std::int64_t>> fix_cleaned(std::size_t j, std::int64_t count) {
    std::vector<std::pair<std::size_t, std::int64_t>> done;
    const Cut pattern = pool_[j];
    std::int64_t whole = count;
    for (const auto& [item, copies] : pattern.items) whole = std::min(whole, demand_[item] / copies);
    if (whole > 0) {
      fix(j, whole);
      done.emplace_back(j, whole);
      count -= whole;
    }
    const CutStock& s = problem_.stocks[pattern.stock];
    for (; count > 0; --count) {
      std::vector<std::int64_t> take(problem_.items.size(), 0);
      std::int64_t room = s.capacity;
      bool any = false;
      for (const auto& [item, copies] : pattern.items) {
        take[item] = std::min(copies, demand_[item]);
        room -= take[item] * problem_.items[item].weight;
        any = any || take[item] > 0;
      }
      for (std::size_t i = 0; i < take.size(); ++i) {
        const std::int64_t w = problem_.items[i].weight;
        const std::int64_t more = std::min(demand_[i] - take[i], room / w);
        if (more <= 0) continue;
        take[i] += more;
        room -= more * w;
        any = true;
      }
      if (!any) break;
      Cut bar;
      bar.stock = pattern.stock;
      for (std::size_t i = 0; i < take.size(); ++i)
        if (take[i] > 0) bar.items.emplace_back(i, take[i]);
      add({bar});
      const std::size_t k = find(bar);
      fix(k, 1);
      done.emplace_back(k, 1);
    }
    return done;
  }

  // The relaxation's cost in the problem's units, without the tie-breaking
  // charge per bar; leaving a piece out costs what its artificial does.
  double relaxed_cost() const {
    const double* x = lp_.primalColumnSolution();
    const std::size_t m = problem_.items.size();
    double total = 0;
    for (std::size_t i = 0; i < m; ++i) total += x[i] * artificial_cost_[i] * (scale_ > 0 ? scale_ : 1.0);
    for (std::size_t c = 0; c < lp_pool_.size(); ++c)
      total += x[m + c] * static_cast<double>(problem_.stocks[pool_[lp_pool_[c]].stock].cost);
    return total;
  }

  std::size_t items() const { return problem_.items.size(); }
  const std::vector<Cut>& pool() const { return pool_; }
  const std::vector<std::int64_t>& demand() const { return demand_; }
  const std::vector<std::int64_t>& left() const { return left_; }
  const std::vector<double>& lp_cost() const { return lp_cost_; }
  const std::vector<double>& artificial_cost() const { return artificial_cost_; }
  std::size_t find(const Cut& cut) const {
    const auto it = index_.find(key_of(cut));
    return it == index_.end() ? pool_.size() : it->second;
  }

  // Puts the demand and the limits back as at the start.
  void reset() {
    forget_center();
    for (std::size_t i = 0; i < problem_.items.size(); ++i) {
      demand_[i] = problem_.items[i].demand;
      lp_.setRowLower(static_cast<int>(i), static_cast<double>(demand_[i]));
    }
    left_ = limits(problem_);
    for (std::size_t k = 0; k < problem_.stocks.size(); ++k)
      if (limit_row_[k] >= 0) lp_.setRowUpper(limit_row_[k], static_cast<double>(left_[k]));
  }

 private:
  // Keeps the relaxation small: past a few columns per row, the columns out
  // of the basis that price out worst leave it until half are left. They stay
  // in the pool, and pricing brings one back when it is worth it again.
  void purge() {
    const std::size_t m = problem_.items.size();
    const std::size_t most = std::max<std::size_t>(kLeastLpColumns, kLpColumnsPerRow * m);
    if (lp_pool_.size() <= most) return;
    const double* reduced = lp_.dualColumnSolution();
    std::vector<std::pair<double, int>> out;
    for (std::size_t c = 0; c < lp_pool_.size(); ++c) {
      const int column = static_cast<int>(m + c);
      if (lp_.getColumnStatus(column) != ClpSimplex::basic) out.emplace_back(reduced[column], column);
    }
    const std::size_t drop = std::min(out.size(), lp_pool_.size() - most / 2);
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<int> which;
    for (std::size_t d = 0; d < drop; ++d) which.push_back(out[d].second);
    std::sort(which.begin(), which.end());
    lp_.deleteColumns(static_cast<int>(which.size()), which.data());
    std::vector<std::size_t> kept;
    std::size_t w = 0;
    for (std::size_t c = 0; c < lp_pool_.size(); ++c) {
      if (w < which.size() && static_cast<std::size_t>(which[w]) == m + c) {
        in_lp_[lp_pool_[c]] = false;
        ++w;
      } else {
        kept.push_back(lp_pool_[c]);
      }
    }
    lp_pool_ = std::move(kept);
  }

  int lp_column(std::size_t j) const {
    if (!in_lp_[j]) return -1;
    const auto it = std::find(lp_pool_.begin(), lp_pool_.end(), j);
    return static_cast<int>(problem_.items.size() + static_cast<std::size_t>(it - lp_pool_.begin()));
  }

  // Cuts `count` bars of column j (negative: takes them back).
  void change(std::size_t j, std::int64_t count) {
    forget_center();
    const Cut& cut = pool_[j];
    for (const auto& [item, copies] : cut.items) {
      demand_[item] += copies * count;
      lp_.setRowLower(static_cast<int>(item), static_cast<double>(demand_[item]));
    }
    if (limit_row_[cut.stock] >= 0) {
      left_[cut.stock] += count;
      lp_.setRowUpper(limit_row_[cut.stock], static_cast<double>(left_[cut.stock]));
    }
  }

  const CutProblem& problem_;
  ClpSimplex lp_;
  double scale_ = 1;
  std::vector<double> lp_cost_, artificial_cost_;
  std::vector<int> limit_row_;
  std::vector<Cut> pool_;
  std::vector<bool> in_lp_, banned_;   // per pool column
  std::vector<std::size_t> lp_pool_;   // per pattern column of the relaxation, its pool column
  std::map<std::vector<std::int64_t>, std::size_t> index_;
  std::vector<std::int64_t> demand_, left_;
  std::vector<double> center_;
  double center_value_ = 0;
};

struct Search {
  const CutProblem& problem;
  const CutBudget& budget;
  std::int64_t quantum = 0;
  int rounds = 0;  // pricing rounds spent
  bool timed_out = false;
  std::int64_t bound = 0;
  CutSolution best;  // the plan to beat
  bool settled = false;  // the last generation ended at the relaxation's optimum

  bool proven() const { return complete(best) && best.cost <= bound; }

  void offer(CutSolution&& s) {
    if (better(problem, s, best)) best = std::move(s);
  }

  bool out_of_time() {
    const Clock::time_point now = Clock::now();
    if (now >= budget.deadline) timed_out = true;
    return timed_out || now >= pause;
  }
  // Generation at the root stops here, so that the dives have time too.
  Clock::time_point pause = Clock::time_point::max();

  // Column generation until no pattern prices out (or the budget ends). At
  // the root every round's values also give a bound (Farley's), kept when
  // better; generation stops once the bound meets the relaxation rounded up,
  // or the best plan. `settled` tells whether the relaxation was shown to be
  // optimal: no pattern left to price out, by knapsacks solved exactly.
  bool generate(Master& master, bool rhs_changed, bool root, bool exact) {
    settled = false;
    if (!master.solve(rhs_changed)) return false;
    while (rounds < budget.max_generation_rounds && !out_of_time()) {
      ++rounds;
      const Master::Priced priced = master.price(exact);
      settled = priced.added == 0 && priced.exact;
      if (root) {
        bound = std::max(bound, bound_with(problem, priced.values, priced.most, quantum));
        if (proven()) return true;
        if (quantum > 0) {
          const double relaxed = master.relaxed_cost();
          const double ceiling = std::ceil(relaxed / static_cast<double>(quantum) - 1e-6) *
                                 static_cast<double>(quantum);
          if (static_cast<double>(bound) >= ceiling) return true;
        }
      }
      if (priced.added == 0) return true;
      if (!master.solve(false)) return false;
    }
    return true;
  }
};

// [SECTION] Diving: fix columns the relaxation uses, generate again

// Diving with backtracking, a depth-first search over the relaxation's
// columns. The columns the relaxation uses a whole number of times are cut
// that often; when none is, the one it uses most is cut once, with those it
// nearly uses whole. Generation resumes on what is left after each step.
// Coming back, the search forbids the column used most below the node, then
// the next too, as far as the discrepancies on the path allow (limited
// discrepancy search); a pass that ran short of them is followed by one with
// more, while the budget lasts.
//
// A step is undone as soon as what is cut plus the relaxation of what is
// left costs more than the best plan less the quantum: no better plan lies
// that way, as far as generation converged (a heuristic test; the bound
// never rests on it). When few pieces are left, the exact search for bars
// filled within the slack left (fill_bars) finishes the plan or closes the
// branch: the relaxation of a small rest still finds fractions of perfect
// bars where no whole set of them is left, which is how plain dives fail.
class Diver {
 public:
  Diver(Search& search, Master& master) : search_(search), master_(master) {}

  // Dives from the root, with more discrepancies on a path each time the
  // search ends short of them, in at most `steps` steps (each a generation).
  void run(int steps) {
    steps_left_ = steps;
    for (int discrepancies = kDiscrepancies;; discrepancies += kDiscrepancies) {
      master_.reset();
      limited_ = false;
      if (step(discrepancies) || !limited_) return;
    }
  }

 private:
  using Fixes = std::vector<std::pair<std::size_t, std::int64_t>>;

  // Returns true when the search should stop: the plan is proven, or the
  // budget is spent (then the plan cut so far is finished and offered).
  bool step(int discrepancies) {
    if (search_.proven()) return true;
    if (search_.out_of_time() || steps_left_ <= 0 || search_.rounds >= search_.budget.max_generation_rounds) {
      leaf({});  // what is cut so far, finished by first-fit decreasing
      return true;
    }
    --steps_left_;
    const std::vector<std::int64_t>& demand = master_.demand();
    if (std::all_of(demand.begin(), demand.end(), [](std::int64_t d) { return d == 0; })) {
      leaf({});
      return search_.proven();
    }
    if (!search_.generate(master_, true, false, false)) {
      leaf({});
      return search_.proven();
    }
    const bool pruning = complete(search_.best) && search_.quantum > 0;
    if (pruning) {
      const std::int64_t target = search_.best.cost - search_.quantum;
      const double tolerance = 1e-6 * static_cast<double>(search_.quantum);
      const auto over = [&] {
        return static_cast<double>(cut_cost_) + master_.relaxed_cost() > static_cast<double>(target) + tolerance;
      };
      // Generation in a dive prices by a short search; only a relaxation
      // that would close the branch is shown optimal by the exact knapsack.
      if (over() && !search_.settled && !search_.generate(master_, false, false, true)) {
        leaf({});
        return search_.proven();
      }
      if (search_.settled && over()) return false;
      std::int64_t pieces = 0;
      for (const std::int64_t d : demand) pieces += d;
      if (pieces <= fill_pieces_) {
        // The cheapest plan the relaxation allows first: the search finds
        // the first plan within its aim, not the cheapest.
        const double q = static_cast<double>(search_.quantum);
        std::int64_t aim = cut_cost_ + static_cast<std::int64_t>(std::ceil(master_.relaxed_cost() / q - 1e-6)) * search_.quantum;
        for (aim = std::max(aim, search_.bound); aim <= target; aim += search_.quantum) {
          FillResult fill = fill_bars(search_.problem, demand, master_.left(), aim - cut_cost_, kFillWork);
          if (fill.status == FillStatus::kGaveUp) {
            // Where the search had too many ways to finish, it is tried
            // again only on a rest a quarter smaller.
            fill_pieces_ = pieces * 3 / 4;
            break;
          }
          if (fill.status == FillStatus::kFound) {
            leaf(fill.cuts);
            return search_.proven();  // nothing cheaper below this step
          }
        }
        if (aim > target) return false;  // no plan within the target below this step
      }
    }
    // The columns the relaxation uses, those it uses whole first, each group
    // by use.
    std::vector<std::pair<double, std::size_t>> used;
    for (const auto& [j, v] : master_.used())
      if (v > 1e-6) used.emplace_back(v, j);
    const auto whole = [](double v) { return v + 1e-6 >= 1; };
    std::stable_sort(used.begin(), used.end(), [&](const auto& a, const auto& b) {
      if (whole(a.first) != whole(b.first)) return whole(a.first);
      return a.first > b.first;
    });
    Fixes first;
    if (!used.empty() && whole(used.front().first)) {
      for (const auto& [v, j] : used)
        if (whole(v)) first.emplace_back(j, static_cast<std::int64_t>(std::floor(v + 1e-6)));
    } else if (!used.empty()) {
      // Columns the relaxation nearly uses whole are cut with the choice:
      // one step instead of many when every piece is wanted once.
      first.emplace_back(used.front().second, 1);
      for (std::size_t o = 1; o < used.size() && used[o].first >= kNearlyWhole; ++o)
        first.emplace_back(used[o].second, 1);
    }
    const Fixes done = apply(first);
    if (done.empty()) {  // only artificial columns left, or no stock for them
      leaf({});
      return search_.proven();
    }
    bool stop = step(discrepancies);
    undo(done);
    // Each discrepancy forbids one more of the columns most used, below.
    std::size_t banned = 0;
    for (; !stop && banned < used.size(); ++banned) {
      if (static_cast<int>(banned) >= discrepancies) {
        limited_ = true;
        break;
      }
      master_.ban(used[banned].second);
      stop = step(discrepancies - 1);
    }
    for (std::size_t b = 0; b < banned; ++b) master_.unban(used[b].second);
    return stop;
  }

  // Cuts the columns as far as what is left of the stock and the demand
  // allows (see Master::fix_cleaned); returns what was cut.
  Fixes apply(const Fixes& fixes) {
    Fixes done;
    for (auto [j, count] : fixes) {
      const std::int64_t left = master_.left()[master_.pool()[j].stock];
      if (left >= 0) count = std::min(count, left);
      if (count <= 0) continue;
      for (const auto& [k, bars_cut] : master_.fix_cleaned(j, count)) {
        done.emplace_back(k, bars_cut);
        cut_[k] += bars_cut;
        cut_cost_ += bars_cut * search_.problem.stocks[master_.pool()[k].stock].cost;
      }
    }
    return done;
  }

  void undo(const Fixes& done) {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      master_.unfix(it->first, it->second);
      if ((cut_[it->first] -= it->second) == 0) cut_.erase(it->first);
      cut_cost_ -= it->second * search_.problem.stocks[master_.pool()[it->first].stock].cost;
    }
  }

  // A plan from what is cut, `rest`, and first-fit decreasing for whatever
  // is still wanted (the stock ran out in the columns, or the search ended).
  void leaf(const std::vector<Cut>& rest) {
    CutSolution out;
    for (const auto& [j, count] : cut_)
      out.cuts.push_back({master_.pool()[j].stock, count, master_.pool()[j].items});
    out.cuts.insert(out.cuts.end(), rest.begin(), rest.end());
    finish(search_.problem, &out);
    if (!complete(out)) {
      CutSolution ffd = ffd_on(search_.problem, out.missing, master_.left());
      out.cuts.insert(out.cuts.end(), ffd.cuts.begin(), ffd.cuts.end());
      finish(search_.problem, &out);
    }
    out.method = rest.empty() ? "column generation, diving" : "column generation, diving, exact fill";
    search_.offer(std::move(out));
  }

  Search& search_;
  Master& master_;
  int steps_left_ = 0;
  bool limited_ = false;  // a node had more choices than discrepancies left
  std::int64_t fill_pieces_ = kFillPieces;  // rests this small go to fill_bars
  std::map<std::size_t, std::int64_t> cut_;  // pool column, bars
  std::int64_t cut_cost_ = 0;
};

// [SECTION] Branch and cut on the columns generated

// The integer programme over every column generated, started from the best
// plan so far. Deterministic: a node limit, and the deadline only as a guard.
CutSolution mip_on_pool(Search& search, Master& master, const CutSolution& incumbent) {
  CutSolution out;
  const CutProblem& problem = search.problem;
  master.add(incumbent.cuts);
  const std::vector<Cut>& pool = master.pool();
  const std::size_t m = problem.items.size();
  const std::size_t n = m + pool.size();
  std::vector<double> lower(n, 0), upper(n, COIN_DBL_MAX), cost(n), elements;
  std::vector<CoinBigIndex> starts{0};
  std::vector<int> rows;
  std::vector<int> limit_row(problem.stocks.size(), -1);
  std::vector<double> row_lower, row_upper;
  for (std::size_t i = 0; i < m; ++i) {
    row_lower.push_back(static_cast<double>(problem.items[i].demand));
    row_upper.push_back(COIN_DBL_MAX);
  }
  for (std::size_t k = 0; k < problem.stocks.size(); ++k)
    if (problem.stocks[k].limit > 0) {
      limit_row[k] = static_cast<int>(row_lower.size());
      row_lower.push_back(-COIN_DBL_MAX);
      row_upper.push_back(static_cast<double>(problem.stocks[k].limit));
    }
  for (std::size_t i = 0; i < m; ++i) {
    cost[i] = master.artificial_cost()[i];
    rows.push_back(static_cast<int>(i));
    elements.push_back(1);
    starts.push_back(static_cast<CoinBigIndex>(rows.size()));
  }
  for (std::size_t j = 0; j < pool.size(); ++j) {
    cost[m + j] = master.lp_cost()[pool[j].stock];
    if (problem.stocks[pool[j].stock].limit == 0) upper[m + j] = 0;
    for (const auto& [item, copies] : pool[j].items) {
      rows.push_back(static_cast<int>(item));
      elements.push_back(static_cast<double>(copies));
    }
    if (limit_row[pool[j].stock] >= 0) {
      rows.push_back(limit_row[pool[j].stock]);
      elements.push_back(1);
    }
    starts.push_back(static_cast<CoinBigIndex>(rows.size()));
  }
  OsiClpSolverInterface solver;
  solver.messageHandler()->setLogLevel(0);
  solver.loadProblem(static_cast<int>(n), static_cast<int>(row_lower.size()), starts.data(),
                     rows.data(), elements.data(), lower.data(), upper.data(), cost.data(),
                     row_lower.data(), row_upper.data());
  for (std::size_t j = 0; j < n; ++j) solver.setInteger(static_cast<int>(j));
  CbcModel model(solver);
  model.setLogLevel(0);
  model.messageHandler()->setLogLevel(0);
  model.setMaximumNodes(search.budget.max_mip_nodes);
  const double seconds =
      std::chrono::duration<double>(search.budget.deadline - Clock::now()).count();
  if (seconds <= 0) return incumbent;
  model.setUseElapsedTime(true);
  model.setNumberStrong(0);  // strong branching costs more than it saves on these columns
  model.setMaximumSeconds(seconds);
  std::vector<double> start(n, 0);
  double start_value = 0;
  for (const Cut& cut : incumbent.cuts) {
    const std::size_t j = master.find(cut);
    start[m + j] += static_cast<double>(cut.count);
  }
  for (std::size_t i = 0; i < m; ++i) start[i] = static_cast<double>(incumbent.missing[i]);
  for (std::size_t j = 0; j < n; ++j) start_value += start[j] * cost[j];
  model.setBestSolution(start.data(), static_cast<int>(n), start_value, true);
  model.initialSolve();
  model.branchAndBound();
  if (model.bestSolution() == nullptr) return incumbent;
  const double* x = model.bestSolution();
  for (std::size_t j = 0; j < pool.size(); ++j) {
    const std::int64_t count = std::llround(x[m + j]);
    if (count > 0) out.cuts.push_back({pool[j].stock, count, pool[j].items});
  }
  finish(problem, &out);
  out.method = "column generation, branch and cut";
  if (model.maximumSecondsReached()) search.timed_out = true;
  return out;
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
        Diver diver(search, master);
        diver.run(budget.max_dive_steps);
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

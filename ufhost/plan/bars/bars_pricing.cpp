// Pricing for solve_cutting: the best pattern of each size by an exact
// knapsack at duals smoothed toward the best Lagrangian point, and the
// generation loop that alternates it with the master's solves and keeps
// the root's bounds.

#include <algorithm>
#include <cmath>
#include <limits>

#include "ufhost/plan/bars/bars_cg_internal.h"
#include "ufhost/plan/bars/knapsack.h"

namespace ufhost::plan::cg {
namespace {

// Dual values are turned into whole numbers with about this many significant
// bits before the knapsack: enough that rounding them down costs the bound
// nothing that rounding the bound up does not give back.
constexpr double kValueScale = 1099511627776.0;  // 2^40
// Pricing also returns up to this many other good patterns from the knapsack
// (see solve_knapsack): many columns a round close the relaxation sooner.
constexpr int kOthers = 40;
constexpr std::int64_t kKnapsackWork = 50'000'000;
constexpr std::int64_t kQuickKnapsackWork = 2'000'000;
constexpr double kPricingTolerance = 1e-6;
// How far pricing moves from the relaxation's duals toward the best bound's.
constexpr double kSmoothing = 0.5;

}  // namespace

// Prices at a point between the duals of the best Lagrangian bound seen
// (the centre) and the relaxation's duals (Wentges' smoothing): the duals
// of a degenerate relaxation jump about, and the columns found near the
// centre close the relaxation in far fewer rounds. A pattern found there
// is kept only if it prices out at the relaxation's own duals; when none
// does, pricing is done again at those duals, so no column is missed.
Master::Priced Master::price(bool exact) {
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

// The first centre: values in proportion to the weights, at the cheapest
// rate per unit of capacity. No pattern prices out there, so its bound is
// the continuous one, and for a problem whose bars can all be filled (the
// usual case) these are the relaxation's own duals: pricing near them
// closes the relaxation in a fraction of the rounds it takes from the
// first basis's duals, which value the pieces by what leaving them out costs.
void Master::center_on_weights() {
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

// The best pattern of each size at values `y` (each reported when it beats
// the size's cost at those values); the values in whole numbers and the
// most a pattern is worth, for the bound.
Master::Priced Master::price_at(const std::vector<double>& y, bool exact, std::vector<Cut>* found) {
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
double Master::lagrangian(const std::vector<double>& y, const Priced& priced) const {
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

// Column generation until no pattern prices out (or the budget ends). At
// the root every round's values also give a bound (Farley's), kept when
// better; generation stops once the bound meets the relaxation rounded up,
// or the best plan. `settled` tells whether the relaxation was shown to be
// optimal: no pattern left to price out, by knapsacks solved exactly.
bool Search::generate(Master& master, bool rhs_changed, bool root, bool exact) {
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

}  // namespace ufhost::plan::cg

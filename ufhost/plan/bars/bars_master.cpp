// The master linear programme of solve_cutting on CLP: its rows and columns,
// the pool of patterns behind them, fixing and banning columns for the
// dives, and the purge that keeps it small. Pricing is in bars_pricing.cpp.

#include <algorithm>
#include <map>

#include <CoinMessageHandler.hpp>

#include "ufhost/plan/bars/bars_cg_internal.h"

namespace ufhost::plan::cg {
namespace {

// A tiny cost per bar in the relaxation, so that among plans of equal cost
// the one with fewer bars is found (free offcuts are cut only when they save).
constexpr double kPerBar = 1e-7;
// The relaxation keeps at most this many pattern columns per row (and at
// least kLeastLpColumns): past it the worst are purged (see Master::purge).
constexpr std::size_t kLpColumnsPerRow = 4;
constexpr std::size_t kLeastLpColumns = 1000;

std::vector<std::int64_t> key_of(const Cut& cut) {
  std::vector<std::int64_t> key{static_cast<std::int64_t>(cut.stock)};
  for (const auto& [item, copies] : cut.items) {
    key.push_back(static_cast<std::int64_t>(item));
    key.push_back(copies);
  }
  return key;
}

// Rows: one per item (at least its demand still to cut), then one per size

}  // namespace

Master::Master(const CutProblem& problem, std::int64_t quantum) : problem_(problem) {
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
int Master::add(const std::vector<Cut>& cuts) {
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
bool Master::solve(bool rhs_changed) {
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
std::vector<std::pair<std::size_t, double>> Master::used() const {
  const double* x = lp_.primalColumnSolution();
  const std::size_t m = problem_.items.size();
  std::vector<std::pair<std::size_t, double>> out;
  for (std::size_t c = 0; c < lp_pool_.size(); ++c)
    if (x[m + c] > 1e-9) out.emplace_back(lp_pool_[c], x[m + c]);
  return out;
}

// Keeps pool column j out of the relaxation, until unban(j): its bound is
// 0 while it is there, and pricing cannot bring it back.
void Master::ban(std::size_t j) {
  forget_center();
  banned_[j] = true;
  const int column = lp_column(j);
  if (column >= 0) lp_.setColumnUpper(column, 0.0);
}

void Master::unban(std::size_t j) {
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
std::vector<std::pair<std::size_t, std::int64_t>> Master::fix_cleaned(std::size_t j, std::int64_t count) {
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
double Master::relaxed_cost() const {
  const double* x = lp_.primalColumnSolution();
  const std::size_t m = problem_.items.size();
  double total = 0;
  for (std::size_t i = 0; i < m; ++i) total += x[i] * artificial_cost_[i] * (scale_ > 0 ? scale_ : 1.0);
  for (std::size_t c = 0; c < lp_pool_.size(); ++c)
    total += x[m + c] * static_cast<double>(problem_.stocks[pool_[lp_pool_[c]].stock].cost);
  return total;
}

std::size_t Master::find(const Cut& cut) const {
  const auto it = index_.find(key_of(cut));
  return it == index_.end() ? pool_.size() : it->second;
}

// Puts the demand and the limits back as at the start.
void Master::reset() {
  forget_center();
  for (std::size_t i = 0; i < problem_.items.size(); ++i) {
    demand_[i] = problem_.items[i].demand;
    lp_.setRowLower(static_cast<int>(i), static_cast<double>(demand_[i]));
  }
  left_ = limits(problem_);
  for (std::size_t k = 0; k < problem_.stocks.size(); ++k)
    if (limit_row_[k] >= 0) lp_.setRowUpper(limit_row_[k], static_cast<double>(left_[k]));
}

// Keeps the relaxation small: past a few columns per row, the columns out
// of the basis that price out worst leave it until half are left. They stay
// in the pool, and pricing brings one back when it is worth it again.
void Master::purge() {
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

int Master::lp_column(std::size_t j) const {
  if (!in_lp_[j]) return -1;
  const auto it = std::find(lp_pool_.begin(), lp_pool_.end(), j);
  return static_cast<int>(problem_.items.size() + static_cast<std::size_t>(it - lp_pool_.begin()));
}

// Cuts `count` bars of column j (negative: takes them back).
void Master::change(std::size_t j, std::int64_t count) {
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

}  // namespace ufhost::plan::cg

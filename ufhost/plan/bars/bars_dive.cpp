// Integer plans from the columns solve_cutting generated: dives with
// backtracking on the relaxation (limited discrepancy search, with the exact
// bin completion for small rests), and branch and cut on the whole pool.

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include <CbcModel.hpp>
#include <CoinMessageHandler.hpp>
#include <OsiClpSolverInterface.hpp>

#include "ufhost/plan/bars/bars_cg_internal.h"
#include "ufhost/plan/bars/bars_fill.h"

namespace ufhost::plan::cg {
namespace {

constexpr double kNearlyWhole = 0.8;
// Diving forbids at most this many of the relaxation's choices on a path,
// and this many more on each further pass.
constexpr int kDiscrepancies = 2;
// A rest of at most this many pieces is searched exactly, within this work.
constexpr std::int64_t kFillPieces = 60;
constexpr std::int64_t kFillWork = 2'000'000;

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
  using Uses = std::vector<std::pair<double, std::size_t>>;  // (value, pool column)

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
    if (complete(search_.best) && search_.quantum > 0) {
      const std::optional<bool> closed = close_below();
      if (closed) return *closed;
    }
    const Uses used = columns_in_use();
    const Fixes done = apply(first_choice(used));
    if (done.empty()) {  // only artificial columns left, or no stock for them
      leaf({});
      return search_.proven();
    }
    const bool stop = step(discrepancies);
    undo(done);
    return step_aside(used, discrepancies, stop);
  }

  // With a complete plan to beat: whether the node can be closed, because
  // the relaxation shows nothing cheaper below it or because the exact
  // search settles a small rest. Returns what step returns then, or nothing
  // when the dive goes on.
  std::optional<bool> close_below() {
    const std::vector<std::int64_t>& demand = master_.demand();
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
    if (pieces > fill_pieces_) return std::nullopt;
    return fill_rest(pieces, target);
  }

  // The rest of `pieces` cut by fill_bars within the target, the cheapest
  // plan the relaxation allows first: the search finds the first plan within
  // its aim, not the cheapest. As close_below.
  std::optional<bool> fill_rest(std::int64_t pieces, std::int64_t target) {
    const std::vector<std::int64_t>& demand = master_.demand();
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
    return std::nullopt;
  }

  // The columns the relaxation uses, those it uses whole first, each group
  // by use.
  Uses columns_in_use() const {
    Uses used;
    for (const auto& [j, v] : master_.used())
      if (v > 1e-6) used.emplace_back(v, j);
    std::stable_sort(used.begin(), used.end(), [](const auto& a, const auto& b) {
      if (whole(a.first) != whole(b.first)) return whole(a.first);
      return a.first > b.first;
    });
    return used;
  }

  static bool whole(double v) { return v + 1e-6 >= 1; }

  // What the dive cuts first: every column used whole, as often as it is
  // used; else the one used most, once.
  static Fixes first_choice(const Uses& used) {
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
    return first;
  }

  // Back from the first choice (`stop` is what it returned): each
  // discrepancy forbids one more of the columns most used, below.
  bool step_aside(const Uses& used, int discrepancies, bool stop) {
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

}  // namespace

void dive(Search& search, Master& master, int steps) {
  Diver diver(search, master);
  diver.run(steps);
}

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

}  // namespace ufhost::plan::cg

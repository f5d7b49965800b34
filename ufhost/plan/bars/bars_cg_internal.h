#pragma once
// What the files of solve_cutting share and nothing else includes:
//   bars_cg.cpp       plans in whole numbers, first-fit decreasing, the bound
//                     from values per item, and the driver, solve_cutting
//   bars_master.cpp   the master linear programme over the patterns
//   bars_pricing.cpp  pricing by knapsacks and the generation loop
//   bars_dive.cpp     integer plans from the columns: dives, branch and cut
// Everything here lies in ufhost::plan::cg, so that these helpers cannot
// meet other files' names at link time.

#include <chrono>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include <ClpSimplex.hpp>

#include "ufhost/plan/bars/bars_cg.h"

namespace ufhost::plan::cg {

__extension__ typedef __int128 Wide;
using Clock = std::chrono::steady_clock;

inline bool usable(const CutStock& s) { return s.limit != 0 && s.capacity > 0; }

// [SECTION] Plans in whole numbers (bars_cg.cpp)

// Sets the plan's cost and what it leaves missing from its cuts.
void finish(const CutProblem& problem, CutSolution* s);
// More placed (by length), then cheaper, then fewer bars.
bool better(const CutProblem& problem, const CutSolution& a, const CutSolution& b);
// Nothing missing.
bool complete(const CutSolution& s);
// First-fit decreasing for `demand`, with `left` bars of each size (-1 any).
CutSolution ffd_on(const CutProblem& problem, const std::vector<std::int64_t>& demand,
                   std::vector<std::int64_t> left);
// Bars of each size that may be cut: -1 any, 0 none.
std::vector<std::int64_t> limits(const CutProblem& problem);
// The bound by weak duality from values per item and the most a pattern of
// each size is worth under them, rounded up to the quantum.
std::int64_t bound_with(const CutProblem& problem, const std::vector<std::int64_t>& values,
                        const std::vector<std::int64_t>& most, std::int64_t quantum);

// [SECTION] The master linear programme (bars_master.cpp, pricing in bars_pricing.cpp)

// Rows: one per item (at least its demand still to cut), then one per size
// with a limit (at most what is left). Columns: one artificial per item that
// stands for leaving it out, dearer than any bar, then the patterns.
class Master {
 public:
  Master(const CutProblem& problem, std::int64_t quantum);

  // Adds the patterns to the relaxation: those not in the pool to both, and
  // those purged from the relaxation back to it. Returns how many columns
  // the relaxation gained.
  int add(const std::vector<Cut>& cuts);

  // Re-solves from the last basis: the dual simplex after the right-hand
  // side changed, the primal after columns were added.
  bool solve(bool rhs_changed);

  // The pool columns the relaxation uses, with their values.
  std::vector<std::pair<std::size_t, double>> used() const;

  // One round of pricing: the best pattern per size, added when it prices
  // out. The values and the most per size are kept for the bound.
  struct Priced {
    int added = 0;
    bool exact = true;  // every knapsack was solved or shown to find nothing
    double scale = 0;  // values = floor(duals * scale)
    std::vector<std::int64_t> values;
    std::vector<std::int64_t> most;
  };
  Priced price(bool exact);

  // Forgets the centre, as after the demand changed.
  void forget_center() { center_.clear(); }

  // The first centre: values in proportion to the weights, at the cheapest
  // rate per unit of capacity.
  void center_on_weights();

  // The relaxation's value in the problem's cost units (an estimate: floating point).
  double value() const { return lp_.objectiveValue() * (scale_ > 0 ? scale_ : 1.0); }

  // Cuts `count` of pool column `j`: what is left to cut shrinks. The caller
  // keeps within the demand and what is left of the size.
  void fix(std::size_t j, std::int64_t count) { change(j, -count); }

  // Takes back what fix(j, count) cut.
  void unfix(std::size_t j, std::int64_t count) { change(j, count); }

  // Keeps pool column j out of the relaxation, until unban(j): its bound is
  // 0 while it is there, and pricing cannot bring it back.
  void ban(std::size_t j);
  void unban(std::size_t j);

  // Cuts column `j` `count` times as far as what is still wanted allows, the
  // rest of the bars cleaned of what is no longer wanted and filled. Returns
  // the (pool column, bars) cut.
  std::vector<std::pair<std::size_t, std::int64_t>> fix_cleaned(std::size_t j, std::int64_t count);

  // The relaxation's cost in the problem's units, without the tie-breaking
  // charge per bar; leaving a piece out costs what its artificial does.
  double relaxed_cost() const;

  std::size_t items() const { return problem_.items.size(); }
  const std::vector<Cut>& pool() const { return pool_; }
  const std::vector<std::int64_t>& demand() const { return demand_; }
  const std::vector<std::int64_t>& left() const { return left_; }
  const std::vector<double>& lp_cost() const { return lp_cost_; }
  const std::vector<double>& artificial_cost() const { return artificial_cost_; }
  // The pool column of `cut`, or pool().size() when it has none.
  std::size_t find(const Cut& cut) const;

  // Puts the demand and the limits back as at the start.
  void reset();

 private:
  Priced price_at(const std::vector<double>& y, bool exact, std::vector<Cut>* found);
  double lagrangian(const std::vector<double>& y, const Priced& priced) const;
  void purge();
  int lp_column(std::size_t j) const;
  void change(std::size_t j, std::int64_t count);

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

// The state of one solve_cutting: the best plan and bound so far, and the
// budget spent.
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

  // Column generation until no pattern prices out (or the budget ends); see
  // bars_pricing.cpp.
  bool generate(Master& master, bool rhs_changed, bool root, bool exact);
};

// [SECTION] Integer plans from the columns (bars_dive.cpp)

// Dives with backtracking from the root in at most `steps` steps; every plan
// found is offered to the search.
void dive(Search& search, Master& master, int steps);

// The integer programme over every column generated, started from
// `incumbent`; returns it unchanged when branch and cut finds nothing.
CutSolution mip_on_pool(Search& search, Master& master, const CutSolution& incumbent);

}  // namespace ufhost::plan::cg

#include "ufhost/plan/bars/bars.h"

// [SECTION] Input: checks, the objective, lengths gathered into items
// [SECTION] Tidying a plan: over-production, fewer bars, cheaper sizes, waste in one place
// [SECTION] Layouts: pieces by label, positions, offcuts
// [SECTION] plan_bars

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "ufhost/plan/bars/bars_cg.h"

namespace ufhost::plan {
namespace {

__extension__ typedef __int128 Wide;

// Above this many bars the plan is mostly copies of a few layouts and the
// bar-by-bar tidying is skipped.
constexpr std::int64_t kMostBarsToTidy = 20'000;

// [SECTION] Input

std::string piece_name(const std::vector<Piece>& pieces, std::size_t i) {
  return "piece " + std::to_string(i) + (pieces[i].label.empty() ? "" : " (" + pieces[i].label + ")");
}

std::string stock_name(const std::vector<Stock>& stock, std::size_t k) {
  return "stock " + std::to_string(k) + (stock[k].name.empty() ? "" : " (" + stock[k].name + ")");
}

void fail(const std::string& what) { throw std::invalid_argument("plan_bars: " + what); }

void check_input(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
                 const Settings& settings) {
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const Piece& p = pieces[i];
    if (p.width != 0) fail(piece_name(pieces, i) + " has a width; bars take lengths only");
    if (p.length <= 0 || p.length > kMaxLength)
      fail(piece_name(pieces, i) + ": length must be more than 0 and at most 100 m");
    if (p.quantity < 0 || p.quantity > kMaxQuantity)
      fail(piece_name(pieces, i) + ": quantity must be from 0 to " + std::to_string(kMaxQuantity));
  }
  for (std::size_t k = 0; k < stock.size(); ++k) {
    const Stock& s = stock[k];
    if (s.width != 0) fail(stock_name(stock, k) + " has a width; bars take lengths only");
    if (s.length <= 0 || s.length > kMaxLength)
      fail(stock_name(stock, k) + ": length must be more than 0 and at most 100 m");
    if (s.count < -1) fail(stock_name(stock, k) + ": count must be -1 (unlimited) or more");
    if (s.price && *s.price < 0) fail(stock_name(stock, k) + ": price is negative");
  }
  if (settings.kerf < 0 || settings.kerf > kMaxLength) fail("kerf must be from 0 to 100 m");
  if (settings.trim < 0 || settings.trim > kMaxLength) fail("trim must be from 0 to 100 m");
  if (std::isnan(settings.time_limit) || settings.time_limit < 0)
    fail("time limit must be 0 or more seconds");
}

// Cost when a size bought has a price; then every size bought needs one, as
// a plan cannot weigh a priced bar against one of unknown price.
Objective objective_of(const std::vector<Stock>& stock) {
  std::size_t priced = 0, bought = 0, unpriced = stock.size();
  for (std::size_t k = 0; k < stock.size(); ++k) {
    if (stock[k].offcut) continue;
    ++bought;
    if (stock[k].price)
      ++priced;
    else
      unpriced = k;
  }
  if (priced == 0) return Objective::kMaterial;
  if (priced < bought)
    fail("prices are given for some bar sizes bought but not for " + stock_name(stock, unpriced) +
         "; give every size bought a price, or none");
  return Objective::kCost;
}

std::int64_t cost_of(const Stock& s, Objective objective) {
  if (objective == Objective::kCost) return s.price.value_or(0);
  return s.offcut ? 0 : s.length;
}

// One distinct length and the pieces that share it, in input order.
struct Kind {
  Length length = 0;
  std::vector<std::pair<std::size_t, std::int64_t>> pieces;  // (piece index, quantity)
};

// [SECTION] Tidying a plan

std::vector<std::int64_t> made_of(const CutProblem& problem, const std::vector<Cut>& cuts) {
  std::vector<std::int64_t> made(problem.items.size(), 0);
  for (const Cut& cut : cuts)
    for (const auto& [item, copies] : cut.items) made[item] += copies * cut.count;
  return made;
}

// Takes out what is cut beyond the demand, from the last cuts first,
// splitting a group of bars where only some of them lose a piece.
void remove_excess(const CutProblem& problem, std::vector<Cut>* cuts) {
  const std::vector<std::int64_t> made = made_of(problem, *cuts);
  for (std::size_t i = 0; i < problem.items.size(); ++i) {
    std::int64_t excess = made[i] - problem.items[i].demand;
    for (std::size_t j = cuts->size(); j-- > 0 && excess > 0;) {
      auto& items = (*cuts)[j].items;
      const auto it = std::find_if(items.begin(), items.end(), [&](const auto& e) { return e.first == i; });
      if (it == items.end()) continue;
      const std::int64_t copies = it->second, n = (*cuts)[j].count;
      if (excess >= copies * n) {
        items.erase(it);
        excess -= copies * n;
        continue;
      }
      const std::int64_t without = excess / copies, rest = excess % copies;
      Cut fewer = (*cuts)[j];
      fewer.count = without;
      fewer.items.erase(fewer.items.begin() + (it - items.begin()));
      Cut one = (*cuts)[j];
      one.count = rest > 0 ? 1 : 0;
      one.items[static_cast<std::size_t>(it - items.begin())].second -= rest;
      (*cuts)[j].count -= without + one.count;
      if (fewer.count > 0) cuts->push_back(std::move(fewer));
      if (one.count > 0) cuts->push_back(std::move(one));
      excess = 0;
    }
  }
  cuts->erase(std::remove_if(cuts->begin(), cuts->end(),
                             [](const Cut& c) { return c.count == 0 || c.items.empty(); }),
              cuts->end());
}

struct Bar {
  std::size_t stock = 0;
  std::vector<std::int64_t> items;  // one entry per piece, by item index
  std::int64_t room = 0;
};

// Best fit: the bar other than `except` with the least room that still holds `weight`.
std::size_t best_fit(const std::vector<Bar>& bars, std::size_t except, std::int64_t weight) {
  std::size_t best = bars.size();
  for (std::size_t b = 0; b < bars.size(); ++b)
    if (b != except && bars[b].room >= weight && (best == bars.size() || bars[b].room < bars[best].room))
      best = b;
  return best;
}

// Moves pieces out of bar `from` into others while they fit; returns how
// many are left in it. With `all_or_none`, nothing moves unless all can.
std::size_t empty_bar(const CutProblem& problem, std::vector<Bar>& bars, std::size_t from,
                      bool all_or_none) {
  std::vector<std::size_t> moved_to;
  std::vector<std::int64_t> kept;
  for (const std::int64_t item : bars[from].items) {
    const std::int64_t w = problem.items[static_cast<std::size_t>(item)].weight;
    const std::size_t to = best_fit(bars, from, w);
    if (to == bars.size()) {
      kept.push_back(item);
      if (all_or_none) break;
      continue;
    }
    bars[to].items.push_back(item);
    bars[to].room -= w;
    bars[from].room += w;
    moved_to.push_back(to);
  }
  if (all_or_none && !kept.empty()) {
    for (std::size_t m = moved_to.size(); m-- > 0;) {
      Bar& to = bars[moved_to[m]];
      const std::int64_t w = problem.items[static_cast<std::size_t>(to.items.back())].weight;
      to.items.pop_back();
      to.room += w;
      bars[from].room -= w;
    }
    return bars[from].items.size();
  }
  bars[from].items = kept;
  return kept.size();
}

// One Bar per bar the cuts cut; `used` counts them per size.
std::vector<Bar> bars_of(const CutProblem& problem, const std::vector<Cut>& cuts,
                         std::vector<std::int64_t>* used) {
  std::vector<Bar> bars;
  used->assign(problem.stocks.size(), 0);
  for (const Cut& cut : cuts) {
    Bar bar;
    bar.stock = cut.stock;
    bar.room = problem.stocks[cut.stock].capacity;
    for (const auto& [item, copies] : cut.items)
      for (std::int64_t c = 0; c < copies; ++c) {
        bar.items.push_back(static_cast<std::int64_t>(item));
        bar.room -= problem.items[item].weight;
      }
    for (std::int64_t c = 0; c < cut.count; ++c) bars.push_back(bar);
    (*used)[cut.stock] += cut.count;
  }
  return bars;
}

// Empties the bars whose pieces all fit in the others' room, the least
// loaded first; returns which bars are gone (each takes nothing more).
std::vector<bool> empty_bars_that_fit(const CutProblem& problem, std::vector<Bar>& bars) {
  // A few hundred tries keep this to a fraction of the search's time.
  std::vector<std::size_t> order(bars.size());
  for (std::size_t b = 0; b < bars.size(); ++b) order[b] = b;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return problem.stocks[bars[a].stock].capacity - bars[a].room <
           problem.stocks[bars[b].stock].capacity - bars[b].room;
  });
  std::vector<bool> gone(bars.size(), false);
  for (std::size_t t = 0; t < order.size() && t < 200; ++t)
    if (empty_bar(problem, bars, order[t], true) == 0) {
      gone[order[t]] = true;
      bars[order[t]].room = -1;  // takes nothing more
    }
  return gone;
}

// Moves each bar left to the cheapest size that holds its load and is not
// used up; `used` counts bars per size, the gone ones taken off.
void move_to_cheaper_sizes(const CutProblem& problem, std::vector<Bar>& bars,
                           const std::vector<bool>& gone, std::vector<std::int64_t>& used) {
  for (std::size_t b = 0; b < bars.size(); ++b) {
    if (gone[b]) {
      --used[bars[b].stock];
      continue;
    }
    const std::int64_t load = problem.stocks[bars[b].stock].capacity - bars[b].room;
    std::size_t cheapest = bars[b].stock;
    for (std::size_t k = 0; k < problem.stocks.size(); ++k) {
      const CutStock& s = problem.stocks[k];
      const bool left = s.limit < 0 || used[k] < s.limit;
      if (left && s.capacity >= load && s.cost < problem.stocks[cheapest].cost) cheapest = k;
    }
    if (cheapest != bars[b].stock) {
      --used[bars[b].stock];
      ++used[cheapest];
      bars[b].room = problem.stocks[cheapest].capacity - load;
      bars[b].stock = cheapest;
    }
  }
}

// The bars not gone, identical ones gathered into one cut.
std::vector<Cut> cuts_of(std::vector<Bar>& bars, const std::vector<bool>& gone) {
  std::vector<Cut> out;
  std::map<std::vector<std::int64_t>, std::size_t> index;
  for (std::size_t b = 0; b < bars.size(); ++b) {
    if (gone[b] || bars[b].items.empty()) continue;
    std::sort(bars[b].items.begin(), bars[b].items.end());
    Cut cut;
    cut.stock = bars[b].stock;
    cut.count = 1;
    for (const std::int64_t item : bars[b].items) {
      const std::size_t i = static_cast<std::size_t>(item);
      if (!cut.items.empty() && cut.items.back().first == i)
        ++cut.items.back().second;
      else
        cut.items.emplace_back(i, 1);
    }
    std::vector<std::int64_t> key{static_cast<std::int64_t>(cut.stock)};
    key.insert(key.end(), bars[b].items.begin(), bars[b].items.end());
    const auto [it, fresh] = index.emplace(key, out.size());
    if (fresh)
      out.push_back(std::move(cut));
    else
      ++out[it->second].count;
  }
  return out;
}

// Among plans of one cost, fewer bars and then one long offcut are worth
// more than waste spread over every bar: bars whose pieces fit elsewhere are
// emptied, a bar is moved to a cheaper size that holds its pieces, and the
// emptiest bar gives its pieces to the others as far as they take them.
std::vector<Cut> tidy(const CutProblem& problem, const std::vector<Cut>& cuts) {
  std::int64_t count = 0;
  for (const Cut& cut : cuts) count += cut.count;
  if (count > kMostBarsToTidy) return cuts;
  std::vector<std::int64_t> used;
  std::vector<Bar> bars = bars_of(problem, cuts, &used);
  const std::vector<bool> gone = empty_bars_that_fit(problem, bars);
  move_to_cheaper_sizes(problem, bars, gone, used);
  std::size_t emptiest = bars.size();
  for (std::size_t b = 0; b < bars.size(); ++b)
    if (!gone[b] && (emptiest == bars.size() || bars[b].room > bars[emptiest].room)) emptiest = b;
  if (emptiest < bars.size()) {
    std::sort(bars[emptiest].items.begin(), bars[emptiest].items.end());  // longest first
    empty_bar(problem, bars, emptiest, false);
  }
  return cuts_of(bars, gone);
}

// [SECTION] Layouts

// Lays out each group of bars, splitting it where the labels of a shared
// length change from one bar to the next, so that every piece index is
// placed exactly as often as it is wanted (less what is missing).
std::vector<Layout> layouts_of(const std::vector<Cut>& cuts, const std::vector<Kind>& kinds,
                               const std::vector<std::size_t>& stock_index,
                               const std::vector<Stock>& stock, const Settings& settings) {
  // Per item, where each piece's copies end in the order they are handed out.
  std::vector<std::vector<std::int64_t>> ends(kinds.size());
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    std::int64_t sum = 0;
    for (const auto& [piece, quantity] : kinds[i].pieces) ends[i].push_back(sum += quantity);
  }
  const auto piece_at = [&](std::size_t item, std::int64_t position) {
    const auto it = std::upper_bound(ends[item].begin(), ends[item].end(), position);
    return kinds[item].pieces[static_cast<std::size_t>(it - ends[item].begin())].first;
  };
  std::vector<std::int64_t> handed(kinds.size(), 0);
  std::vector<Layout> out;
  for (const Cut& cut : cuts) {
    std::vector<std::int64_t> breaks{0, cut.count};
    for (const auto& [item, copies] : cut.items) {
      const std::int64_t first = handed[item], last = first + copies * cut.count;
      for (auto it = std::upper_bound(ends[item].begin(), ends[item].end(), first);
           it != ends[item].end() && *it < last; ++it) {
        const std::int64_t bar = (*it - first) / copies;
        breaks.push_back(bar);
        if ((*it - first) % copies != 0) breaks.push_back(bar + 1);
      }
    }
    std::sort(breaks.begin(), breaks.end());
    breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
    const Stock& s = stock[stock_index[cut.stock]];
    for (std::size_t b = 0; b + 1 < breaks.size(); ++b) {
      Layout layout;
      layout.stock = stock_index[cut.stock];
      layout.count = breaks[b + 1] - breaks[b];
      Length x = settings.trim;
      for (const auto& [item, copies] : cut.items)
        for (std::int64_t c = 0; c < copies; ++c) {
          const std::size_t piece = piece_at(item, handed[item] + breaks[b] * copies + c);
          layout.pieces.push_back({piece, x, 0, kinds[item].length, 0, false});
          x += kinds[item].length + settings.kerf;
        }
      if (x < s.length) layout.offcuts.push_back({x, 0, s.length - x, 0});
      out.push_back(std::move(layout));
    }
    for (const auto& [item, copies] : cut.items) handed[item] += copies * cut.count;
  }
  return out;
}

}  // namespace

// [SECTION] plan_bars

namespace {

// The cutting problem of a plan: the sizes that can be cut and the lengths
// of the pieces some size holds, with where each came from.
struct Gathered {
  CutProblem problem;
  std::vector<std::size_t> stock_index;  // per size of the problem, its index in `stock`
  std::vector<Kind> kinds;               // per item of the problem
};

// Gathers the problem; pieces no size holds go to the plan's unplaced and
// missing. Throws when the costs could not be added up exactly.
Gathered gather(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
                const Settings& settings, Plan* plan) {
  Gathered out;
  CutProblem& problem = out.problem;
  // Sizes that can be cut at all become the problem's stock.
  Length longest = 0;
  for (std::size_t k = 0; k < stock.size(); ++k) {
    const Length usable = stock[k].length - 2 * settings.trim;
    if (stock[k].count == 0 || usable <= 0) continue;
    problem.stocks.push_back({usable + settings.kerf, cost_of(stock[k], plan->objective), stock[k].count});
    out.stock_index.push_back(k);
    longest = std::max(longest, usable);
  }
  // Pieces by length, longest first; those no size holds are unplaced.
  std::map<Length, Kind, std::greater<Length>> by_length;
  Wide total = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].quantity == 0) continue;
    if (pieces[i].length > longest) {
      plan->unplaced.push_back(i);
      plan->missing[i] = pieces[i].quantity;
      continue;
    }
    Kind& kind = by_length[pieces[i].length];
    kind.length = pieces[i].length;
    kind.pieces.emplace_back(i, pieces[i].quantity);
    total += pieces[i].quantity;
  }
  for (auto& [length, kind] : by_length) {
    std::int64_t demand = 0;
    for (const auto& [piece, quantity] : kind.pieces) demand += quantity;
    problem.items.push_back({length + settings.kerf, demand});
    out.kinds.push_back(std::move(kind));
  }
  std::int64_t dearest = 0;
  for (const CutStock& s : problem.stocks) dearest = std::max(dearest, s.cost);
  // Every sum of costs stays well inside 64 bits: at most one bar per piece.
  if (total * dearest >= (Wide(1) << 62)) fail("too many pieces at these prices to add up exactly");
  return out;
}

CutBudget budget_of(const Settings& settings) {
  CutBudget budget;
  const double seconds = std::min(settings.time_limit, 1e6);
  budget.deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(seconds));
  return budget;
}

// The best plan for `problem`; when the stock runs out, planned again for
// what was placed, so that the bound speaks of these pieces and the cost is
// the least for them. Then `problem` is the problem of the placed pieces,
// and `missing` (per item) what is left out.
CutSolution solve_placed(CutProblem& problem, const CutBudget& budget,
                         std::vector<std::int64_t>* missing) {
  CutSolution solution = solve_cutting(problem, budget);
  *missing = solution.missing;
  if (std::none_of(missing->begin(), missing->end(), [](std::int64_t m) { return m > 0; }))
    return solution;
  CutProblem placed = problem;
  for (std::size_t i = 0; i < placed.items.size(); ++i) placed.items[i].demand -= (*missing)[i];
  std::vector<Cut> start = solution.cuts;
  remove_excess(placed, &start);
  const std::string found_by = solution.method;
  const bool timed_out = solution.timed_out;
  solution = solve_cutting(placed, budget, &start);
  if (solution.method == "start") solution.method = found_by;
  solution.timed_out = solution.timed_out || timed_out;
  problem = std::move(placed);
  for (std::size_t i = 0; i < missing->size(); ++i) (*missing)[i] += solution.missing[i];
  return solution;
}

// Missing copies are the last of each length's pieces in input order: they
// go to the plan's missing and out of `kinds`.
void leave_out_last(const std::vector<std::int64_t>& missing, std::vector<Kind>& kinds, Plan* plan) {
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    std::int64_t left_out = missing[i];
    for (auto it = kinds[i].pieces.rbegin(); it != kinds[i].pieces.rend() && left_out > 0; ++it) {
      const std::int64_t m = std::min(left_out, it->second);
      plan->missing[it->first] += m;
      it->second -= m;
      left_out -= m;
    }
  }
}

// The plan's bars used, value, bound and gap from the cuts and the solution.
void settle_value(const Gathered& gathered, const std::vector<Cut>& cuts,
                  const CutSolution& solution, Plan* plan) {
  std::int64_t cost = 0;
  for (const Cut& cut : cuts) {
    plan->used[gathered.stock_index[cut.stock]] += cut.count;
    cost += cut.count * gathered.problem.stocks[cut.stock].cost;
  }
  plan->value = static_cast<double>(cost) / 1e6;
  const std::int64_t bound = solution.bound;
  plan->lower_bound = static_cast<double>(bound) / 1e6;
  plan->optimal = cost <= bound;
  plan->gap = plan->optimal ? 0.0
              : bound > 0   ? static_cast<double>(cost - bound) / static_cast<double>(bound)
                            : std::numeric_limits<double>::infinity();
  plan->timed_out = solution.timed_out;
  plan->method = solution.method;
}

}  // namespace

Plan plan_bars(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
               const Settings& settings) {
  check_input(pieces, stock, settings);
  Plan plan;
  plan.objective = objective_of(stock);
  plan.used.assign(stock.size(), 0);
  plan.missing.assign(pieces.size(), 0);
  Gathered gathered = gather(pieces, stock, settings, &plan);
  std::vector<std::int64_t> missing;
  CutSolution solution = solve_placed(gathered.problem, budget_of(settings), &missing);
  remove_excess(gathered.problem, &solution.cuts);
  std::vector<Cut> cuts = tidy(gathered.problem, solution.cuts);
  std::stable_sort(cuts.begin(), cuts.end(), [](const Cut& a, const Cut& b) {
    return a.stock != b.stock ? a.stock < b.stock : a.count > b.count;
  });
  leave_out_last(missing, gathered.kinds, &plan);
  plan.layouts = layouts_of(cuts, gathered.kinds, gathered.stock_index, stock, settings);
  settle_value(gathered, cuts, solution, &plan);
  return plan;
}

}  // namespace ufhost::plan

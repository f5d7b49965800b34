// The check of a bar plan against its input. It shares nothing with the
// planner but plan.h, so that a fault in one is not repeated in the other.

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "ufhost/plan/check.h"

namespace ufhost::plan {
namespace {

__extension__ typedef __int128 Wide;

std::string at_layout(std::size_t l) { return "layout " + std::to_string(l) + ": "; }

std::string piece_text(const std::vector<Piece>& pieces, std::size_t i) {
  return "piece " + std::to_string(i) + (pieces[i].label.empty() ? "" : " (" + pieces[i].label + ")");
}

bool holds(const Stock& s, const Settings& settings, Length length) {
  return s.count != 0 && s.length - 2 * settings.trim >= length;
}

// The cost of one bar of a size in the units of the plan's value: millionths
// of the currency or micrometres.
std::int64_t unit_cost(const Stock& s, Objective objective) {
  if (objective == Objective::kCost) return s.price.value_or(0);
  return s.offcut ? 0 : s.length;
}

std::string check_layout(const std::vector<Piece>& pieces, const Stock& s, const Settings& settings,
                         const Layout& layout, std::size_t l) {
  if (layout.count < 1) return at_layout(l) + "count " + std::to_string(layout.count) + " is less than 1";
  if (layout.pieces.empty()) return at_layout(l) + "cuts no piece";
  std::vector<Placed> placed = layout.pieces;
  for (const Placed& p : placed) {
    if (p.piece >= pieces.size()) return at_layout(l) + "no piece " + std::to_string(p.piece);
    if (p.y != 0 || p.width != 0 || p.turned) return at_layout(l) + piece_text(pieces, p.piece) + " is placed as on a sheet";
    if (p.length != pieces[p.piece].length)
      return at_layout(l) + piece_text(pieces, p.piece) + " has length " + std::to_string(p.length) +
             ", not " + std::to_string(pieces[p.piece].length);
  }
  std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.x < b.x; });
  if (placed.front().x < settings.trim)
    return at_layout(l) + piece_text(pieces, placed.front().piece) + " starts inside the trim";
  for (std::size_t j = 1; j < placed.size(); ++j)
    if (placed[j].x < placed[j - 1].x + placed[j - 1].length + settings.kerf)
      return at_layout(l) + piece_text(pieces, placed[j].piece) + " is less than a kerf from " +
             piece_text(pieces, placed[j - 1].piece);
  if (placed.back().x + placed.back().length > s.length - settings.trim)
    return at_layout(l) + piece_text(pieces, placed.back().piece) + " runs into the trim or past the bar";
  for (const Offcut& o : layout.offcuts) {
    if (o.y != 0 || o.width != 0 || o.length <= 0 || o.x < 0 || o.x + o.length > s.length)
      return at_layout(l) + "an offcut lies outside the bar";
    for (const Placed& p : placed)
      if (o.x < p.x + p.length + settings.kerf && o.x + o.length > p.x - settings.kerf)
        return at_layout(l) + "an offcut touches " + piece_text(pieces, p.piece) + " or its kerf";
  }
  return "";
}

}  // namespace

std::string check_bars(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
                       const Settings& settings, const Plan& plan) {
  const std::size_t n = pieces.size();
  if (plan.used.size() != stock.size()) return "used has " + std::to_string(plan.used.size()) + " entries for " + std::to_string(stock.size()) + " sizes";
  if (plan.missing.size() != n) return "missing has " + std::to_string(plan.missing.size()) + " entries for " + std::to_string(n) + " pieces";

  std::set<std::size_t> unplaced;
  for (const std::size_t i : plan.unplaced) {
    if (i >= n) return "unplaced lists no piece " + std::to_string(i);
    if (!unplaced.insert(i).second) return "unplaced lists " + piece_text(pieces, i) + " twice";
  }
  for (std::size_t i = 0; i < n; ++i) {
    bool fits = false;
    for (const Stock& s : stock) fits = fits || holds(s, settings, pieces[i].length);
    const bool listed = unplaced.count(i) > 0;
    if (listed && fits) return piece_text(pieces, i) + " is listed unplaced but some stock holds it";
    if (listed && pieces[i].quantity == 0) return piece_text(pieces, i) + " is listed unplaced but none is wanted";
    if (!listed && !fits && pieces[i].quantity > 0) return piece_text(pieces, i) + " fits no stock but is not listed unplaced";
  }

  std::vector<Wide> placed(n, 0);
  std::vector<Wide> used(stock.size(), 0);
  for (std::size_t l = 0; l < plan.layouts.size(); ++l) {
    const Layout& layout = plan.layouts[l];
    if (layout.stock >= stock.size()) return at_layout(l) + "no stock " + std::to_string(layout.stock);
    const std::string fault = check_layout(pieces, stock[layout.stock], settings, layout, l);
    if (!fault.empty()) return fault;
    used[layout.stock] += layout.count;
    for (const Placed& p : layout.pieces) placed[p.piece] += layout.count;
  }
  for (std::size_t k = 0; k < stock.size(); ++k) {
    if (used[k] != plan.used[k])
      return "used[" + std::to_string(k) + "] is " + std::to_string(plan.used[k]) + " but the layouts cut " +
             std::to_string(static_cast<long long>(used[k]));
    if (stock[k].count >= 0 && used[k] > stock[k].count)
      return "stock " + std::to_string(k) + ": " + std::to_string(plan.used[k]) + " cut of " +
             std::to_string(stock[k].count);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const std::int64_t missing = plan.missing[i];
    if (missing < 0 || missing > pieces[i].quantity)
      return piece_text(pieces, i) + ": missing " + std::to_string(missing) + " of " + std::to_string(pieces[i].quantity);
    if (placed[i] + missing != pieces[i].quantity)
      return piece_text(pieces, i) + " is placed " + std::to_string(static_cast<long long>(placed[i])) +
             " times with " + std::to_string(missing) + " missing, for " + std::to_string(pieces[i].quantity) + " wanted";
    if (missing == 0 || unplaced.count(i) > 0) continue;
    // A piece may be left out only when every size that holds it has run out.
    for (std::size_t k = 0; k < stock.size(); ++k)
      if (holds(stock[k], settings, pieces[i].length) && (stock[k].count < 0 || used[k] < stock[k].count))
        return piece_text(pieces, i) + " is missing while stock " + std::to_string(k) + " that holds it is left";
  }

  bool priced = false;
  for (const Stock& s : stock) priced = priced || (!s.offcut && s.price.has_value());
  const Objective objective = priced ? Objective::kCost : Objective::kMaterial;
  if (plan.objective != objective) return "the objective is not the one the prices call for";
  Wide cost = 0;
  for (std::size_t k = 0; k < stock.size(); ++k) cost += used[k] * unit_cost(stock[k], objective);
  const double value = static_cast<double>(cost) / 1e6;
  const double tolerance = 1e-9 * std::max(1.0, value);
  if (std::fabs(plan.value - value) > tolerance)
    return "value is " + std::to_string(plan.value) + " but the bars cut come to " + std::to_string(value);
  if (!(plan.lower_bound >= 0) || plan.lower_bound > plan.value + tolerance)
    return "the lower bound " + std::to_string(plan.lower_bound) + " is above the value " + std::to_string(plan.value);
  if (plan.optimal && plan.value > plan.lower_bound + tolerance)
    return "the plan is marked optimal above its bound";
  return "";
}

}  // namespace ufhost::plan

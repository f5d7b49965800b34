// check_sheets: a plan for sheets judged against its input alone. It shares
// nothing with the planner but the types, so that a fault in one is not
// hidden by the same fault in the other.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "ufhost/plan/check.h"

namespace ufhost::plan {
namespace {

__extension__ typedef __int128 Wide;

// A rectangle in a layout: a placed piece or a kept offcut, in real
// micrometres, [x0, x1) x [y0, y1).
struct Box {
  Length x0, y0, x1, y1;
  std::string name;
};

std::string where(std::size_t layout) { return "layout " + std::to_string(layout) + ": "; }

// Whether `boxes` come apart by guillotine cuts `kerf` wide, starting at
// stage `depth` (odd stages cut at x = const, even ones at y = const). Each
// stage makes every cut it can: a finer split never hurts what follows. A
// box alone in its part needs no stage of its own once the part is cut
// tight around it, and one more cut frees it from its waste, which counts
// as no stage; so it may stand alone one stage past the limit. `cut_before`
// is false when the stage before made no cut: two such stages in a row mean
// no guillotine cut exists at all.
bool comes_apart(std::vector<const Box*> boxes, int depth, int stages, Length kerf, bool cut_before,
                 std::string& why) {
  if (boxes.size() == 1) {
    if (stages == 0 || depth <= stages + 1) return true;
    why = boxes[0]->name + " needs more than " + std::to_string(stages) + " stages";
    return false;
  }
  if (stages != 0 && depth > stages) {
    why = boxes[0]->name + " and " + std::to_string(boxes.size() - 1) + " more need more than " +
          std::to_string(stages) + " stages";
    return false;
  }
  const bool along_x = depth % 2 == 1;
  auto lo = [&](const Box* b) { return along_x ? b->x0 : b->y0; };
  auto hi = [&](const Box* b) { return along_x ? b->x1 : b->y1; };
  std::sort(boxes.begin(), boxes.end(), [&](const Box* a, const Box* b) {
    return lo(a) != lo(b) ? lo(a) < lo(b) : hi(a) < hi(b);
  });
  std::vector<std::vector<const Box*>> groups(1);
  Length end = hi(boxes[0]);
  groups[0].push_back(boxes[0]);
  for (std::size_t i = 1; i < boxes.size(); ++i) {
    if (lo(boxes[i]) - end >= kerf) groups.emplace_back();  // a cut fits in the gap
    groups.back().push_back(boxes[i]);
    end = std::max(end, hi(boxes[i]));
  }
  if (groups.size() == 1) {
    if (!cut_before) {
      why = boxes[0]->name + " and " + std::to_string(boxes.size() - 1) +
            " more cannot be cut apart by guillotine cuts " + std::to_string(kerf) + " µm wide";
      return false;
    }
    return comes_apart(std::move(boxes), depth + 1, stages, kerf, false, why);
  }
  for (auto& g : groups)
    if (!comes_apart(std::move(g), depth + 1, stages, kerf, true, why)) return false;
  return true;
}

bool overlap(const Box& a, const Box& b) {
  return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

// One layout: its stock, its pieces at their sizes within the trim, its
// offcuts, no overlaps, and cuts within the stages. Counts what it places
// and uses. "" when sound, else what is wrong.
std::string check_layout(std::size_t li, const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
                         const Settings& settings, const Layout& layout, std::vector<std::int64_t>& placed,
                         std::vector<std::int64_t>& used) {
  if (layout.stock >= stock.size()) return where(li) + "no such stock " + std::to_string(layout.stock);
  if (layout.count < 1) return where(li) + "count " + std::to_string(layout.count);
  const Stock& st = stock[layout.stock];
  if (st.width <= 0) return where(li) + "stock " + st.name + " is no sheet";
  used[layout.stock] += layout.count;
  const Length length = std::max(st.length, st.width), width = std::min(st.length, st.width);
  const Length t = settings.trim;
  std::vector<Box> boxes;
  for (std::size_t k = 0; k < layout.pieces.size(); ++k) {
    const Placed& pl = layout.pieces[k];
    if (pl.piece >= pieces.size()) return where(li) + "no such piece " + std::to_string(pl.piece);
    const Piece& p = pieces[pl.piece];
    const std::string name = "piece " + std::to_string(pl.piece) + " (" + p.label + ")";
    const Length want_l = pl.turned ? p.width : p.length, want_w = pl.turned ? p.length : p.width;
    if (pl.length != want_l || pl.width != want_w) return where(li) + name + " placed at the wrong size";
    if (pl.turned && !p.may_turn) return where(li) + name + " turned against its grain";
    if (pl.x < t || pl.y < t || pl.x + pl.length > length - t || pl.y + pl.width > width - t)
      return where(li) + name + " outside the sheet less its trim";
    placed[pl.piece] += layout.count;
    boxes.push_back({pl.x, pl.y, pl.x + pl.length, pl.y + pl.width, name});
  }
  for (std::size_t k = 0; k < layout.offcuts.size(); ++k) {
    const Offcut& o = layout.offcuts[k];
    const std::string name = "offcut " + std::to_string(k);
    if (o.length <= 0 || o.width <= 0) return where(li) + name + " is empty";
    if (o.x < t || o.y < t || o.x + o.length > length - t || o.y + o.width > width - t)
      return where(li) + name + " outside the sheet less its trim";
    boxes.push_back({o.x, o.y, o.x + o.length, o.y + o.width, name});
  }
  // Overlaps first, for a plainer message than "cannot be cut apart".
  std::vector<const Box*> order;
  for (const Box& b : boxes) order.push_back(&b);
  std::sort(order.begin(), order.end(), [](const Box* a, const Box* b) { return a->x0 < b->x0; });
  for (std::size_t a = 0; a < order.size(); ++a)
    for (std::size_t b = a + 1; b < order.size() && order[b]->x0 < order[a]->x1; ++b)
      if (overlap(*order[a], *order[b]))
        return where(li) + order[a]->name + " overlaps " + order[b]->name;
  std::string why;
  if (!order.empty() && !comes_apart(order, 1, settings.stages, settings.kerf, true, why))
    return where(li) + why;
  return "";
}

// Every piece placed, missing or unplaced as often as it is wanted.
std::string check_counts(const std::vector<Piece>& pieces, const std::vector<Stock>& stock, const Plan& plan,
                         const std::vector<std::int64_t>& placed) {
  bool every_limited = true;
  for (const Stock& st : stock) every_limited = every_limited && st.count >= 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::int64_t missing = plan.missing.empty() ? 0 : plan.missing[i];
    const bool unplaced = std::find(plan.unplaced.begin(), plan.unplaced.end(), i) != plan.unplaced.end();
    const std::string name = "piece " + std::to_string(i) + " (" + pieces[i].label + ")";
    if (unplaced && (placed[i] != 0 || (!plan.missing.empty() && missing != pieces[i].quantity)))
      return name + " listed as unplaced but placed " + std::to_string(placed[i]) + " times";
    if (!unplaced && missing > 0 && !every_limited)
      return name + " missing " + std::to_string(missing) + " though stock could be bought";
    if (!unplaced && placed[i] + missing != pieces[i].quantity)
      return name + " placed " + std::to_string(placed[i]) + " times, missing " + std::to_string(missing) +
             ", of " + std::to_string(pieces[i].quantity);
  }
  return "";
}

// The stock used as counted and within its limits, the objective, and the
// value and bound against what the layouts cost.
std::string check_value(const std::vector<Stock>& stock, const Plan& plan, const std::vector<std::int64_t>& used) {
  bool priced = false;
  for (const Stock& st : stock) priced = priced || st.price.has_value();
  if (priced != (plan.objective == Objective::kCost)) return "objective does not follow the prices given";
  Wide value = 0;
  for (std::size_t s = 0; s < stock.size(); ++s) {
    if (used[s] != plan.used[s])
      return "stock " + std::to_string(s) + " used " + std::to_string(plan.used[s]) + " times by the plan's count, " +
             std::to_string(used[s]) + " by its layouts";
    if (stock[s].count >= 0 && used[s] > stock[s].count)
      return "stock " + std::to_string(s) + " used " + std::to_string(used[s]) + " times of " +
             std::to_string(stock[s].count);
    if (used[s] == 0) continue;
    if (plan.objective == Objective::kCost) {
      if (!stock[s].price && !stock[s].offcut) return "stock " + std::to_string(s) + " bought without a price";
      value += Wide{stock[s].price.value_or(0)} * used[s];
    } else if (!stock[s].offcut) {
      value += Wide{stock[s].length} * stock[s].width * used[s];
    }
  }
  const double unit = plan.objective == Objective::kCost ? static_cast<double>(kPerCurrencyUnit) : 1e12;
  const double expect = static_cast<double>(value) / unit;
  if (std::fabs(expect - plan.value) > 1e-9 * std::max(1.0, expect))
    return "value " + std::to_string(plan.value) + " where the layouts cost " + std::to_string(expect);
  if (plan.lower_bound > plan.value * (1 + 1e-12) + 1e-12 && std::all_of(plan.missing.begin(), plan.missing.end(),
                                                                        [](std::int64_t m) { return m == 0; }))
    return "lower bound " + std::to_string(plan.lower_bound) + " above the value " + std::to_string(plan.value);
  return "";
}

}  // namespace

std::string check_sheets(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
                         const Settings& settings, const Plan& plan) {
  if (plan.used.size() != stock.size()) return "used has " + std::to_string(plan.used.size()) +
                                               " entries for " + std::to_string(stock.size()) + " stock";
  if (!plan.missing.empty() && plan.missing.size() != pieces.size())
    return "missing has " + std::to_string(plan.missing.size()) + " entries for " +
           std::to_string(pieces.size()) + " pieces";
  std::vector<std::int64_t> placed(pieces.size(), 0), used(stock.size(), 0);
  for (std::size_t li = 0; li < plan.layouts.size(); ++li) {
    const std::string wrong = check_layout(li, pieces, stock, settings, plan.layouts[li], placed, used);
    if (!wrong.empty()) return wrong;
  }
  const std::string wrong = check_counts(pieces, stock, plan, placed);
  if (!wrong.empty()) return wrong;
  return check_value(stock, plan, used);
}

}  // namespace ufhost::plan

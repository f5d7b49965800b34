#include "ufhost/plan/sheets/sheets.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

#include "ufhost/plan/sheets/sheets_dff.h"
#include "ufhost/plan/sheets/sheets_lp.h"
#include "ufhost/plan/sheets/sheets_search.h"

// Sections:
//   [SECTION] Input: checks, formats and kinds of piece
//   [SECTION] Bounds in the objective's units
//   [SECTION] From the search's sheets to layouts
//   [SECTION] plan_sheets

namespace ufhost::plan {
namespace {

// Work the search may do over all its passes, in children weighed (a node
// made counts as several). Fixed, so that a plan does not depend on the
// machine: on the benchmark's 100-piece instances it takes about a second
// at most on one core of the machine the benchmark was run on.
constexpr std::int64_t kSearchBudget = 40'000'000;

// Steps of the knapsacks that fill whole sections for two stages.
// The knapsack keeps a byte per piece and cell of one section: this also
// caps its memory at about 20 MB.
constexpr std::int64_t kSectionsBudget = 20'000'000;

// Steps of the dynamic programmes that price patterns for the staged bound,
// over all rounds of its column generation.
constexpr std::int64_t kBoundWork = 60'000'000;

// [SECTION] Input: checks, formats and kinds of piece

// A sheet format as the search sees it: the usable part plus one kerf.
struct Format {
  std::size_t stock = 0;   // index into the caller's stock
  Length length = 0;       // the longer side
  Length width = 0;
  Length x = 0, y = 0;     // usable size plus kerf
  std::int64_t count = -1;
  Wide cost = 0;           // per sheet, in the objective's integer units
  bool free = false;       // an offcut at hand without a price
};

// Pieces of one size (kerf added) and turning, gathered across labels: the
// search never tells them apart, which spares it symmetric branches.
struct Kind {
  Length x = 0, y = 0;
  bool may_turn = true;
  std::vector<std::tuple<std::size_t, std::int64_t, bool>> pieces;  // index, how many, swapped
  std::int64_t demand = 0;
};

void require(bool ok, const std::string& what) {
  if (!ok) throw std::invalid_argument("plan_sheets: " + what);
}

bool in_range(Length v) { return v > 0 && v <= kMaxLength; }

void check_input(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
                 const Settings& settings) {
  require(settings.kerf >= 0 && settings.kerf <= kMaxLength, "kerf out of range");
  require(settings.trim >= 0 && settings.trim <= kMaxLength, "trim out of range");
  require(settings.stages >= 0, "stages must be 0 (any number) or at least 1");
  require(settings.time_limit >= 0, "time limit must be a number of seconds, 0 or more");
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const Piece& p = pieces[i];
    const std::string name = "piece " + std::to_string(i) + " (" + p.label + ")";
    require(in_range(p.length) && in_range(p.width), name + ": sizes must be in (0, 100 m]");
    require(p.quantity >= 0 && p.quantity <= kMaxQuantity, name + ": quantity out of range");
  }
  bool any_price = false, unpriced_bought = false;
  for (std::size_t s = 0; s < stock.size(); ++s) {
    const Stock& st = stock[s];
    const std::string name = "stock " + std::to_string(s) + " (" + st.name + ")";
    require(st.width != 0, name + ": a bar has no place among sheets");
    require(in_range(st.length) && in_range(st.width), name + ": sizes must be in (0, 100 m]");
    require(st.count >= -1, name + ": count must be -1 (any number) or at least 0");
    if (st.price) {
      require(*st.price >= 0, name + ": negative price");
      any_price = true;
    } else if (!st.offcut) {
      unpriced_bought = true;
    }
  }
  require(!(any_price && unpriced_bought),
          "prices given for some formats but not for every format bought");
}

// [SECTION] Bounds in the objective's units

Wide floor_scaled(Wide area, Wide cost, Wide per) {
  // area * cost / per, rounded down; in long double where the product
  // would overflow, shaded down so that rounding cannot raise it.
  const long double a = static_cast<long double>(area), c = static_cast<long double>(cost);
  if (a * c < 1e36L) return area * cost / per;
  const long double v = a * c / static_cast<long double>(per);
  return static_cast<Wide>(std::floor(v * (1 - 1e-15L)));
}

bool fits(const Kind& k, const Format& f) {
  return (k.x <= f.x && k.y <= f.y) || (k.may_turn && k.y <= f.x && k.x <= f.y);
}

// The least a plan can spend on whole sheets whose area holds `need`: no
// plan buys less area than its pieces take, and sheets come whole, so one
// small piece costs a whole sheet of the cheapest format. Exact by a search
// over how many of each format while that stays small; past its budget,
// the fractional bound at the best rate per area, which is valid too.
Wide covering_bound(Wide need, const std::vector<Format>& formats) {
  std::vector<const Format*> bought;
  for (const Format& f : formats)
    if (!f.free && f.count != 0) bought.push_back(&f);
  if (need <= 0 || bought.empty()) return 0;
  const auto area = [](const Format* f) { return Wide{f->x} * f->y; };
  // Cheapest per area first: the rest of a branch costs at least the rate of
  // the first format it may still use.
  std::sort(bought.begin(), bought.end(), [&](const Format* a, const Format* b) {
    return static_cast<long double>(a->cost) / static_cast<long double>(area(a)) <
           static_cast<long double>(b->cost) / static_cast<long double>(area(b));
  });
  const Wide fractional = floor_scaled(need, bought[0]->cost, area(bought[0]));
  constexpr long kNodes = 200'000;
  long nodes = 0;
  Wide best = -1;
  const std::function<void(std::size_t, Wide, Wide)> search = [&](std::size_t i, Wide left, Wide spent) {
    if (++nodes > kNodes) return;
    if (left <= 0) {
      if (best < 0 || spent < best) best = spent;
      return;
    }
    if (i == bought.size()) return;
    if (best >= 0 && spent + floor_scaled(left, bought[i]->cost, area(bought[i])) >= best) return;
    const Format& f = *bought[i];
    Wide most = (left + area(&f) - 1) / area(&f);
    if (f.count >= 0) most = std::min<Wide>(most, f.count);
    for (Wide n = most; n >= 0 && nodes <= kNodes; --n) search(i + 1, left - n * area(&f), spent + n * f.cost);
  };
  search(0, need, 0);
  if (nodes > kNodes || best < 0) return fractional;
  return std::max(best, fractional);
}

// A bound on the cost of cutting `demand` (per kind) from `formats`.
// One format bought and nothing else at hand: sheets from the dual
// feasible functions, times the sheet's cost. Otherwise every piece costs
// at least its area at the cheapest rate per area of a format it fits;
// free offcuts take the dearest area first, as far as their area goes.
Wide cost_bound(const std::vector<Kind>& kinds, const std::vector<std::int64_t>& demand,
                const std::vector<Format>& formats) {
  bool any = false;
  for (std::int64_t d : demand) any = any || d > 0;
  if (!any) return 0;
  if (formats.size() == 1 && !formats[0].free) {
    std::vector<BoundPiece> bp;
    for (std::size_t k = 0; k < kinds.size(); ++k)
      bp.push_back({kinds[k].x, kinds[k].y, demand[k], kinds[k].may_turn});
    return Wide{sheet_count_bound(bp, formats[0].x, formats[0].y)} * formats[0].cost;
  }
  // Free area at hand; unlimited free offcuts make any bound 0 for what fits them.
  Wide free_area = 0;
  bool free_unlimited = false;
  for (const Format& f : formats)
    if (f.free) {
      if (f.count < 0) free_unlimited = true;
      else free_area += Wide{f.x} * f.y * f.count;
    }
  struct Share {
    long double rate;
    Wide area;
    std::size_t format;
  };
  std::vector<Share> shares;
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    if (demand[k] <= 0) continue;
    std::size_t best = formats.size();
    long double rate = 0;
    bool fits_free = false;
    for (std::size_t f = 0; f < formats.size(); ++f) {
      if (!fits(kinds[k], formats[f])) continue;
      if (formats[f].free) {
        fits_free = true;
        continue;
      }
      const long double r = static_cast<long double>(formats[f].cost) /
                            (static_cast<long double>(formats[f].x) * static_cast<long double>(formats[f].y));
      if (best == formats.size() || r < rate) best = f, rate = r;
    }
    if (best == formats.size() || (fits_free && free_unlimited)) continue;  // costs nothing
    shares.push_back({fits_free ? rate : -rate, Wide{kinds[k].x} * kinds[k].y * demand[k], best});
  }
  // Free area first absorbs the dearest pieces that fit it (marked by a
  // positive rate above), then what is left is charged.
  std::sort(shares.begin(), shares.end(), [](const Share& a, const Share& b) { return a.rate > b.rate; });
  std::vector<Wide> area_at(formats.size(), 0);
  for (Share& s : shares) {
    if (s.rate > 0) {
      const Wide take = std::min(free_area, s.area);
      free_area -= take;
      s.area -= take;
    }
    area_at[s.format] += s.area;
  }
  Wide total = 0, need = 0;
  for (std::size_t f = 0; f < formats.size(); ++f)
    if (area_at[f] > 0) total += floor_scaled(area_at[f], formats[f].cost, Wide{formats[f].x} * formats[f].y);
  for (const Share& s : shares) need += s.area;
  // What the free offcuts do not take must be bought in whole sheets.
  return std::max(total, covering_bound(need, formats));
}

// The bound of the LP over staged patterns, in the objective's units, where
// it applies: one format bought and nothing else, two or three stages (one
// stage is a case of two; more are not modelled). 0 elsewhere. It may stop
// once it proves `enough` sheets.
Wide staged_bound(const std::vector<Kind>& kinds, const std::vector<std::int64_t>& demand,
                  const std::vector<Format>& formats, int stages, std::int64_t enough, double seconds) {
  const int modelled = stages == 1 ? 2 : stages;
  if (formats.size() != 1 || formats[0].free || (modelled != 2 && modelled != 3)) return 0;
  std::vector<BoundPiece> bp;
  for (std::size_t k = 0; k < kinds.size(); ++k)
    bp.push_back({kinds[k].x, kinds[k].y, demand[k], kinds[k].may_turn});
  const std::int64_t sheets = staged_sheet_bound(bp, formats[0].x, formats[0].y, modelled, kBoundWork, enough, seconds);
  return Wide{sheets} * formats[0].cost;
}

// Whether plan a is better than plan b: less left uncut, then cheaper.
bool better(const sheets_search::Solution& a, const sheets_search::Solution& b,
            const std::vector<Kind>& kinds) {
  Wide missing_a = 0, missing_b = 0;
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    const Wide area = Wide{kinds[k].x} * kinds[k].y;
    if (k < a.missing.size()) missing_a += area * a.missing[k];
    if (k < b.missing.size()) missing_b += area * b.missing[k];
  }
  if (missing_a != missing_b) return missing_a < missing_b;
  return a.cost < b.cost;
}

// [SECTION] From the search's sheets to layouts

// Whether a free rectangle is worth keeping: it holds one of the pieces of
// this job, either way round. Smaller leftovers are waste to the saw.
bool worth_keeping(const std::vector<Piece>& pieces, Length length, Length width) {
  for (const Piece& p : pieces)
    if ((p.length <= length && p.width <= width) || (p.width <= length && p.length <= width)) return true;
  return false;
}

// The free rectangles that the cuts already made leave whole: after the
// last section, and above the last row of each section. Sizes in real
// micrometres, clear of every kerf.
std::vector<Offcut> offcuts_of(const sheets_search::Bin& bin, const Format& f, const Settings& settings,
                               int levels, const std::vector<Piece>& pieces) {
  std::vector<Offcut> out;
  const Length trim = settings.trim, kerf = settings.kerf;
  const Length usable_length = f.length - 2 * trim, usable_width = f.width - 2 * trim;
  Length end = 0;
  for (const sheets_search::Section& sec : bin.sections) end = std::max(end, sec.x + sec.length);
  if (levels >= 2)
    for (const sheets_search::Section& sec : bin.sections) {
      const Offcut o{trim + sec.x, trim + sec.rows_end, sec.length - kerf, usable_width - sec.rows_end};
      if (o.length > 0 && o.width > 0 && worth_keeping(pieces, o.length, o.width)) out.push_back(o);
    }
  const Offcut tail{trim + end, trim, usable_length - end, usable_width};
  if (tail.length > 0 && tail.width > 0 && worth_keeping(pieces, tail.length, tail.width)) out.push_back(tail);
  std::sort(out.begin(), out.end(), [](const Offcut& a, const Offcut& b) {
    return Wide{a.length} * a.width > Wide{b.length} * b.width;
  });
  return out;
}

std::string describe_method(int stages, const sheets_search::Solution& s) {
  std::string text = "staged guillotine beam search (";
  text += stages == 0 ? "any number of stages, cut in 4" : std::to_string(stages) + " stages";
  text += ", widest beam " + std::to_string(s.widest_beam) + ")";
  if (s.widest_beam == 0) text = "one piece a sheet (the search found no plan in time)";
  return text;
}

}  // namespace

// [SECTION] plan_sheets

namespace {

// The formats that can be cut: each stock size with its longer side along
// x, the trim taken off and a kerf given back, at its cost in the objective.
std::vector<Format> formats_of(const std::vector<Stock>& stock, const Settings& settings, bool by_cost) {
  std::vector<Format> formats;
  for (std::size_t s = 0; s < stock.size(); ++s) {
    const Stock& st = stock[s];
    Format f;
    f.stock = s;
    f.length = std::max(st.length, st.width);
    f.width = std::min(st.length, st.width);
    f.count = st.count;
    const Length ul = f.length - 2 * settings.trim, uw = f.width - 2 * settings.trim;
    if (ul <= 0 || uw <= 0 || st.count == 0) continue;  // trim leaves nothing, or none there
    f.x = ul + settings.kerf;
    f.y = uw + settings.kerf;
    if (by_cost) f.cost = st.price ? Wide{*st.price} : 0;
    else f.cost = st.offcut ? 0 : Wide{f.length} * f.width;
    f.free = f.cost == 0;
    formats.push_back(f);
  }
  return formats;
}

// Kinds of piece; a piece that fits no format either way goes to the plan's
// unplaced and missing.
std::vector<Kind> kinds_of(const std::vector<Piece>& pieces, const std::vector<Format>& formats,
                           const Settings& settings, Plan* plan) {
  std::vector<Kind> kinds;
  std::map<std::tuple<Length, Length, bool>, std::size_t> kind_of;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const Piece& p = pieces[i];
    if (p.quantity == 0) continue;
    Kind k;
    k.x = p.length + settings.kerf;
    k.y = p.width + settings.kerf;
    k.may_turn = p.may_turn;
    bool swapped = false;
    if (k.may_turn && k.x < k.y) std::swap(k.x, k.y), swapped = true;
    bool placeable = false;
    for (const Format& f : formats) placeable = placeable || fits(k, f);
    if (!placeable) {
      plan->unplaced.push_back(i);
      plan->missing[i] = p.quantity;
      continue;
    }
    auto [it, fresh] = kind_of.try_emplace({k.x, k.y, k.may_turn}, kinds.size());
    if (fresh) kinds.push_back(k);
    kinds[it->second].pieces.emplace_back(i, p.quantity, swapped);
    kinds[it->second].demand += p.quantity;
  }
  return kinds;
}

// Every piece placed, at no more than the bound.
bool proven(const sheets_search::Solution& found, Wide bound) {
  for (std::int64_t m : found.missing)
    if (m != 0) return false;
  return found.cost <= bound;
}

double seconds_left(const Settings& settings, std::chrono::steady_clock::time_point start) {
  return settings.time_limit - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The rest of the search's budget, going on from the width `found` reached
// and bound to beat it; its plan replaces `found` when better.
void search_on(sheets_search::Problem& problem, sheets_search::Solution& found, const std::vector<Kind>& kinds,
               const Settings& settings, std::chrono::steady_clock::time_point start) {
  problem.budget = kSearchBudget - found.spent;
  problem.first_width = std::max(1, 2 * found.widest_beam);
  problem.cutoff = found.cost;
  for (std::int64_t m : found.missing) problem.cutoff = m != 0 ? 0 : problem.cutoff;  // a plan short of stock
  problem.time_limit = seconds_left(settings, start);
  if (problem.time_limit <= 0) return;
  sheets_search::Solution again = sheets_search::solve(problem);
  const bool timed_out = again.timed_out;
  again.widest_beam = std::max(again.widest_beam, found.widest_beam);
  if (better(again, found, kinds)) found = std::move(again);
  found.timed_out = found.timed_out || timed_out;
}

// The best plan of the search, and whether whole sections made it.
struct Found {
  sheets_search::Solution solution;
  bool by_sections = false;
};

// A quarter of the search first; what it cannot prove optimal is worth
// the staged bound, which may prove it (`bound` rises); the rest of the
// search then goes on from the width reached, and must beat the plan in
// hand; last, two stages by whole sections where they apply.
Found search_plan(const std::vector<Kind>& kinds, const std::vector<std::int64_t>& demand,
                  const std::vector<Format>& formats, const Settings& settings,
                  sheets_search::Problem& problem, Wide& bound) {
  const auto start = std::chrono::steady_clock::now();
  Found out;
  sheets_search::Solution& found = out.solution;
  problem.budget = kSearchBudget / 4;
  found = kinds.empty() ? sheets_search::Solution{} : sheets_search::solve(problem);
  if (!kinds.empty() && !proven(found, bound) && !found.timed_out) {
    const Wide per_sheet = formats[0].cost;
    const std::int64_t enough = per_sheet > 0 ? static_cast<std::int64_t>(found.cost / per_sheet) : 0;
    const double left = seconds_left(settings, start);
    if (left > 0) bound = std::max(bound, staged_bound(kinds, demand, formats, settings.stages, enough, left / 2));
    problem.target = bound;
  }
  if (!kinds.empty() && !proven(found, bound) && !found.timed_out && found.spent < kSearchBudget)
    search_on(problem, found, kinds, settings, start);
  if (!kinds.empty() && !proven(found, bound) && !found.timed_out) {
    sheets_search::Solution sections = sheets_search::two_stage_sections(problem, kSectionsBudget);
    if (!sections.bins.empty() && better(sections, found, kinds)) {
      sections.widest_beam = found.widest_beam;
      found = std::move(sections);
      out.by_sections = true;
    }
  }
  return out;
}

// Piece indices for each kind, handed out in order: the last pieces of a
// kind are the ones reported missing.
class Handout {
 public:
  explicit Handout(const std::vector<Kind>& kinds)
      : kinds_(kinds), next_piece_(kinds.size(), 0), left_of_piece_(kinds.size(), 0) {
    for (std::size_t k = 0; k < kinds.size(); ++k) left_of_piece_[k] = std::get<1>(kinds[k].pieces[0]);
  }

  // The next piece of kind k: (index, how many of it, swapped).
  const std::tuple<std::size_t, std::int64_t, bool>& take(std::size_t k) {
    while (left_of_piece_[k] == 0) left_of_piece_[k] = std::get<1>(kinds_[k].pieces[++next_piece_[k]]);
    --left_of_piece_[k];
    return kinds_[k].pieces[next_piece_[k]];
  }

 private:
  const std::vector<Kind>& kinds_;
  std::vector<std::size_t> next_piece_;
  std::vector<std::int64_t> left_of_piece_;
};

// The plan's layouts and sheets used from the search's bins; returns their
// cost. Copies of one cutting may still differ in labels: each is its own
// layout until it matches one already made.
Wide lay_out(const sheets_search::Solution& found, const std::vector<Format>& formats,
             const std::vector<Kind>& kinds, const std::vector<Piece>& pieces, const Settings& settings,
             int levels, Handout& handout, Plan* plan) {
  std::map<std::tuple<std::size_t, std::vector<std::tuple<std::size_t, Length, Length, bool>>>, std::size_t>
      layout_of;
  Wide value = 0;
  for (const sheets_search::Bin& bin : found.bins) {
    const Format& f = formats[bin.type];
    const std::vector<Offcut> offcuts = offcuts_of(bin, f, settings, levels, pieces);
    value += f.cost * bin.copies;
    plan->used[f.stock] += bin.copies;
    for (std::int64_t copy = 0; copy < bin.copies; ++copy) {
      Layout layout;
      layout.stock = f.stock;
      layout.count = 1;
      std::vector<std::tuple<std::size_t, Length, Length, bool>> key;
      for (const sheets_search::Cell& c : bin.cells) {
        const Kind& k = kinds[c.item];
        const auto [piece, unused, swapped] = handout.take(c.item);
        (void)unused;
        Placed pl;
        pl.piece = piece;
        pl.x = settings.trim + c.x;
        pl.y = settings.trim + c.y;
        pl.length = (c.turned ? k.y : k.x) - settings.kerf;
        pl.width = (c.turned ? k.x : k.y) - settings.kerf;
        pl.turned = c.turned != swapped;
        layout.pieces.push_back(pl);
        key.emplace_back(pl.piece, pl.x, pl.y, pl.turned);
      }
      std::sort(key.begin(), key.end());
      auto [it, fresh] = layout_of.try_emplace({f.stock, key}, plan->layouts.size());
      if (fresh) {
        layout.offcuts = offcuts;
        plan->layouts.push_back(std::move(layout));
      } else {
        plan->layouts[it->second].count += 1;
      }
    }
  }
  return value;
}

}  // namespace

Plan plan_sheets(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
                 const Settings& settings) {
  check_input(pieces, stock, settings);
  Plan plan;
  plan.used.assign(stock.size(), 0);
  plan.missing.assign(pieces.size(), 0);
  for (const Stock& st : stock)
    if (st.price) plan.objective = Objective::kCost;
  const bool by_cost = plan.objective == Objective::kCost;
  const std::vector<Format> formats = formats_of(stock, settings, by_cost);
  const std::vector<Kind> kinds = kinds_of(pieces, formats, settings, &plan);
  std::vector<std::int64_t> demand;
  for (const Kind& k : kinds) demand.push_back(k.demand);
  Wide bound = cost_bound(kinds, demand, formats);

  sheets_search::Problem problem;
  for (const Kind& k : kinds) problem.items.push_back({k.x, k.y, k.demand, k.may_turn});
  for (const Format& f : formats) problem.bins.push_back({f.x, f.y, f.count, f.cost});
  // Any number of stages, or more than three, is cut in four: the last
  // cell of a row may hold pieces stacked across it.
  problem.levels = settings.stages == 0 ? 4 : std::min(settings.stages, 4);
  problem.target = bound;
  problem.time_limit = settings.time_limit;
  const Found searched = search_plan(kinds, demand, formats, settings, problem, bound);
  const sheets_search::Solution& found = searched.solution;
  plan.timed_out = found.timed_out;
  plan.method = searched.by_sections ? "two stages, whole sections filled by a knapsack, longest first"
                                     : describe_method(settings.stages, found);

  // Stock that ran out: the bound then speaks of the pieces the plan cuts.
  bool short_of_stock = false;
  for (std::size_t k = 0; k < found.missing.size(); ++k)
    if (found.missing[k] > 0) {
      short_of_stock = true;
      demand[k] -= found.missing[k];
    }
  if (short_of_stock) bound = cost_bound(kinds, demand, formats);

  Handout handout(kinds);
  const Wide value = lay_out(found, formats, kinds, pieces, settings, problem.levels, handout, &plan);
  // What the search could not place is missing: the last of each kind.
  for (std::size_t k = 0; k < found.missing.size(); ++k)
    for (std::int64_t n = 0; n < found.missing[k]; ++n) plan.missing[std::get<0>(handout.take(k))] += 1;

  const double unit = by_cost ? static_cast<double>(kPerCurrencyUnit) : 1e12;  // µm² in a m²
  plan.value = static_cast<double>(value) / unit;
  plan.lower_bound = static_cast<double>(bound) / unit;
  plan.optimal = !short_of_stock && value <= bound;
  plan.gap = plan.optimal || bound == 0 ? 0 : static_cast<double>(value - bound) / static_cast<double>(bound);
  return plan;
}

}  // namespace ufhost::plan

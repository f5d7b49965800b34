#include "ufhost/plan/sheets/sheets_search.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <numeric>

// Sections:
//   [SECTION] Nodes: the front of the sheet being cut
//   [SECTION] Children: where the next piece may go
//   [SECTION] One pass of the beam
//   [SECTION] Passes of growing width
//
// The method follows the anytime tree searches that did well on staged
// guillotine bin packing: a node is a partial plan whose last sheet is cut
// section by section, row by row; a child adds one piece in one of the few
// places the staged cutting leaves open (the current row, a new row, a new
// section, a new sheet). Nodes of one depth (pieces placed) are ranked by
// how much material their front has used for the area they hold, and only
// the best `width` go on. Passes double the width until the budget is spent.

namespace ufhost::plan::sheets_search {
namespace {

// [SECTION] Nodes: the front of the sheet being cut

// kStack puts a piece above the last one of the current row, in the same
// cell (a fourth level: the cell is cut across its width).
enum Kind : std::uint8_t { kRow, kNewRow, kNewSection, kNewBin, kStack };

// What a path needs to be rebuilt: kept for every node a pass makes.
struct Step {
  std::int32_t parent = -1;
  std::uint32_t item = 0;
  std::uint8_t turned = 0;
  std::uint8_t kind = 0;
  std::uint16_t bin = 0;
  Length px = 0;
  Length py = 0;
};

// The state of a node in the beam. Front of the current sheet: closed
// sections end at x1; the current section is s long; its closed rows end at
// y2; the current row is h wide and filled to x3 along the length. With
// four levels, the last cell of the row is cw long and filled to cz across.
struct State {
  std::int32_t step = -1;     // index of the node's Step
  std::uint16_t bin = 0;
  bool open = false;          // a sheet is being cut
  Length x1 = 0, s = 0, y2 = 0, h = 0, x3 = 0;
  Length cw = 0, cz = 0;
  std::int64_t sheets = 0;
  Wide cost = 0;
  double guide_closed = 0;    // guide cost of the sheets before the current one
  Wide area = 0;              // area of the pieces placed
  std::int64_t placed = 0;
  std::uint64_t hash = 0;     // of the multiset of pieces placed
  double guide = 0;
};

struct Candidate {
  double guide;
  std::uint32_t parent;       // index in the beam
  std::uint32_t item;
  std::uint8_t turned;
  std::uint8_t kind;
  std::uint16_t bin;
};

bool before(const Candidate& a, const Candidate& b) {
  if (a.guide != b.guide) return a.guide < b.guide;
  if (a.parent != b.parent) return a.parent < b.parent;
  if (a.item != b.item) return a.item < b.item;
  if (a.kind != b.kind) return a.kind < b.kind;
  if (a.bin != b.bin) return a.bin < b.bin;
  return a.turned < b.turned;
}

// Children made in one round of a pass: the node, and its parent in the beam.
using Made = std::vector<std::pair<State, std::uint32_t>>;

using Clock = std::chrono::steady_clock;

// Nodes one pass may keep for rebuilding paths: 32 bytes each.
constexpr std::size_t kMaxSteps = std::size_t{1} << 23;

class Search {
 public:
  explicit Search(const Problem& problem) : p_(problem), start_(Clock::now()) {
    m_ = p_.items.size();
    t_ = p_.bins.size();
    std::mt19937_64 random(20240611);
    for (std::size_t j = 0; j < m_; ++j) {
      zobrist_.push_back(random());
      total_area_ += Wide{p_.items[j].x} * p_.items[j].y * p_.items[j].demand;
    }
    density_ = -1;
    for (const BinType& b : p_.bins)
      if (b.cost > 0) {
        const double d = static_cast<double>(b.cost) / (static_cast<double>(b.x) * static_cast<double>(b.y));
        if (density_ < 0 || d < density_) density_ = d;
      }
    if (density_ < 0) density_ = 1;
    for (const BinType& b : p_.bins)
      guide_cost_.push_back(b.cost > 0 ? static_cast<double>(b.cost)
                                       : 1e-3 * density_ * static_cast<double>(b.x) * static_cast<double>(b.y));
    for (std::size_t b = 0; b < t_; ++b)
      guide_rate_.push_back(guide_cost_[b] / (static_cast<double>(p_.bins[b].x) * static_cast<double>(p_.bins[b].y)));
    single_ = t_ == 1 && p_.bins[0].count < 0 && p_.bins[0].cost > 0;
  }

  Solution run();

 private:
  const Problem& p_;
  Clock::time_point start_;
  std::size_t m_ = 0, t_ = 0;
  std::vector<std::uint64_t> zobrist_;
  std::vector<double> guide_cost_;
  std::vector<double> guide_rate_;  // guide cost per area of each bin type
  Wide total_area_ = 0;
  double density_ = 1;
  bool single_ = false;
  double beta_ = 0;
  std::int64_t spent_ = 0;
  bool timed_out_ = false;

  // The best plan so far, as its path of steps.
  bool have_best_ = false;
  std::vector<Step> best_path_;
  Wide best_missing_ = 0, best_cost_ = 0, best_remnant_ = 0;
  std::int64_t best_sheets_ = 0;

  bool out_of_time() {
    if (!timed_out_ && std::chrono::duration<double>(Clock::now() - start_).count() > p_.time_limit)
      timed_out_ = true;
    return timed_out_;
  }

  bool met_target() const {
    return p_.stop_at_target && have_best_ && best_missing_ == 0 && best_cost_ <= p_.target;
  }

  void dims(std::uint32_t item, bool turned, Length& a, Length& b) const {
    const ItemType& it = p_.items[item];
    a = turned ? it.y : it.x;
    b = turned ? it.x : it.y;
  }

  double front_area(const State& n) const {
    const BinType& b = p_.bins[n.bin];
    return static_cast<double>(n.x1) * static_cast<double>(b.y) +
           static_cast<double>(n.s) * static_cast<double>(n.y2) +
           static_cast<double>(n.x3) * static_cast<double>(n.h);
  }

  // Material used per area placed, divided again by the area placed to the
  // power beta: towards nodes that placed more area (larger pieces first).
  double guide_of(const State& n) const {
    const double used = n.guide_closed + guide_rate_[n.bin] * front_area(n);
    const double area = static_cast<double>(n.area) * density_;
    if (beta_ <= 0) return used / area;
    return used / std::pow(area, 1 + beta_);
  }

  bool child(const State& n, std::uint32_t item, bool turned, Kind kind, std::uint16_t bin, State& c,
             Length& px, Length& py) const;
  bool bound_prunes(const State& c) const;
  void offer(const std::vector<Step>& steps, std::int32_t leaf, const State& n,
             const std::int64_t* remaining);
  bool pass(int width);
  void weigh_children(const std::vector<Step>& steps, const State& n, std::uint32_t bi,
                      const std::int64_t* r, std::vector<Candidate>& cands);
  void shortlist(std::vector<Candidate>& cands, std::size_t keep);
  void make_children(const std::vector<Candidate>& cands, const std::vector<State>& beam,
                     std::vector<Step>& steps, Made& made) const;
  static std::vector<std::size_t> survivors(Made& made, std::size_t keep);
  Solution build() const;
  Solution fallback() const;
};

// [SECTION] Children: where the next piece may go

bool Search::child(const State& n, std::uint32_t item, bool turned, Kind kind, std::uint16_t bin,
                   State& c, Length& px, Length& py) const {
  Length a = 0, b = 0;
  dims(item, turned, a, b);
  c = n;
  if (kind == kNewBin) {
    const BinType& bt = p_.bins[bin];
    if (a > bt.x || b > bt.y) return false;
    if (n.open) c.guide_closed += guide_cost_[n.bin];
    c.open = true;
    c.bin = bin;
    c.sheets += 1;
    c.cost += bt.cost;
    c.x1 = 0, c.s = a, c.y2 = 0, c.h = b, c.x3 = a, c.cw = a, c.cz = b;
    px = 0, py = 0;
  } else {
    const BinType& bt = p_.bins[n.bin];
    if (kind == kStack) {
      // The cell may grow longer and the row wider, as long as both stay on
      // the sheet: what the earlier pieces leave is trimmed.
      const Length cw = std::max(n.cw, a), x3 = n.x3 - n.cw + cw, cz = n.cz + b, h = std::max(n.h, cz);
      if (n.x1 + x3 > bt.x || n.y2 + h > bt.y) return false;
      px = n.x1 + n.x3 - n.cw, py = n.y2 + n.cz;
      c.x3 = x3, c.h = h, c.s = std::max(n.s, x3), c.cw = cw, c.cz = cz;
    } else if (kind == kRow) {
      const Length x3 = n.x3 + a, h = std::max(n.h, b);
      if (n.x1 + x3 > bt.x || n.y2 + h > bt.y) return false;
      px = n.x1 + n.x3, py = n.y2;
      c.x3 = x3, c.h = h, c.s = std::max(n.s, x3), c.cw = a, c.cz = b;
    } else if (kind == kNewRow) {
      const Length y2 = n.y2 + n.h, s = std::max(n.s, a);
      if (y2 + b > bt.y || n.x1 + s > bt.x) return false;
      px = n.x1, py = y2;
      c.y2 = y2, c.h = b, c.x3 = a, c.s = s, c.cw = a, c.cz = b;
    } else {
      const Length x1 = n.x1 + n.s;
      if (x1 + a > bt.x || b > bt.y) return false;
      px = x1, py = 0;
      c.x1 = x1, c.s = a, c.y2 = 0, c.h = b, c.x3 = a, c.cw = a, c.cz = b;
    }
  }
  c.area += Wide{a} * b;
  c.placed += 1;
  c.hash += zobrist_[item];
  c.guide = guide_of(c);
  return true;
}

// Whether no completion of c can beat the best complete plan.
bool Search::bound_prunes(const State& c) const {
  Wide best_cost = 0;
  if (have_best_ && best_missing_ == 0) {
    // Looking for a longer rest, a plan of equal cost is still of interest.
    best_cost = p_.stop_at_target ? best_cost_ : best_cost_ + 1;
  } else if (p_.cutoff > 0) {
    best_cost = p_.cutoff;
  } else {
    return false;
  }
  const BinType& b = p_.bins[c.bin];
  const Wide sheet = Wide{b.x} * b.y;
  const Wide front = Wide{c.x1} * b.y + Wide{c.s} * c.y2 + Wide{c.x3} * c.h;
  const Wide excess = total_area_ - c.area - (sheet - front);
  if (excess <= 0) return c.cost >= best_cost;
  if (single_) return c.cost + (excess + sheet - 1) / sheet * b.cost >= best_cost;
  return static_cast<double>(c.cost) + static_cast<double>(excess) * density_ >=
         static_cast<double>(best_cost) * (1 + 1e-12);
}

// A leaf: everything placed, or nothing more can be. Kept if better.
void Search::offer(const std::vector<Step>& steps, std::int32_t leaf, const State& n,
                   const std::int64_t* remaining) {
  Wide missing = 0;
  for (std::size_t j = 0; j < m_; ++j)
    missing += Wide{p_.items[j].x} * p_.items[j].y * remaining[j];
  Wide remnant = 0;
  if (n.open) {
    const BinType& b = p_.bins[n.bin];
    remnant = Wide{b.x - n.x1 - n.s} * b.y;
  }
  if (have_best_) {
    if (missing != best_missing_) {
      if (missing > best_missing_) return;
    } else if (n.cost != best_cost_) {
      if (n.cost > best_cost_) return;
    } else if (n.sheets != best_sheets_) {
      if (n.sheets > best_sheets_) return;
    } else if (remnant <= best_remnant_) {
      return;
    }
  }
  have_best_ = true;
  best_missing_ = missing, best_cost_ = n.cost, best_sheets_ = n.sheets, best_remnant_ = remnant;
  best_path_.clear();
  for (std::int32_t i = leaf; i >= 0; i = steps[static_cast<std::size_t>(i)].parent)
    best_path_.push_back(steps[static_cast<std::size_t>(i)]);
  std::reverse(best_path_.begin(), best_path_.end());
}

// [SECTION] One pass of the beam

// The children of beam node `bi` (state `n`, demands and sheets used `r`)
// worth weighing, into `cands`. A node with nothing left to place, or no
// place at all for it, is offered as a leaf.
void Search::weigh_children(const std::vector<Step>& steps, const State& n, std::uint32_t bi,
                            const std::int64_t* r, std::vector<Candidate>& cands) {
  std::size_t before_node = cands.size();
  State c;
  Length px = 0, py = 0;
  bool any_left = false;
  auto consider = [&](std::uint32_t j, bool turned, Kind kind, std::uint16_t bin) {
    if (!child(n, j, turned, kind, bin, c, px, py)) return;
    ++spent_;
    if (bound_prunes(c)) return;
    cands.push_back({c.guide, bi, j, static_cast<std::uint8_t>(turned), kind, bin});
  };
  for (std::uint32_t j = 0; j < m_; ++j) {
    if (r[j] == 0) continue;
    any_left = true;
    if (!n.open) continue;
    const ItemType& it = p_.items[j];
    for (int o = 0; o < (it.may_turn && it.x != it.y ? 2 : 1); ++o) {
      if (p_.levels >= 4 && n.cw > 0) consider(j, o == 1, kStack, 0);
      if (p_.levels >= 3 && n.x3 > 0) consider(j, o == 1, kRow, 0);
      if (p_.levels >= 2) consider(j, o == 1, kNewRow, 0);
      consider(j, o == 1, kNewSection, 0);
    }
  }
  if (!any_left) {
    offer(steps, n.step, n, r);
    return;
  }
  // A new sheet only when nothing more goes into this one.
  if (cands.size() == before_node) {
    const std::size_t tried = static_cast<std::size_t>(spent_);
    for (std::uint16_t b = 0; b < t_; ++b) {
      if (p_.bins[b].count >= 0 && r[m_ + b] >= p_.bins[b].count) continue;
      for (std::uint32_t j = 0; j < m_; ++j) {
        if (r[j] == 0) continue;
        const ItemType& it = p_.items[j];
        for (int o = 0; o < (it.may_turn && it.x != it.y ? 2 : 1); ++o) consider(j, o == 1, kNewBin, b);
      }
    }
    // No place at all for what is left: stock ran out (or the bound
    // cut every child, which offer() then refuses).
    if (cands.size() == before_node && static_cast<std::size_t>(spent_) == tried) offer(steps, n.step, n, r);
  }
}

// The best few times the width of the candidates, in order.
void Search::shortlist(std::vector<Candidate>& cands, std::size_t keep) {
  const std::size_t pool = std::min(cands.size(), 4 * keep);
  if (cands.size() > pool) {
    std::nth_element(cands.begin(), cands.begin() + static_cast<std::ptrdiff_t>(pool), cands.end(), before);
    cands.resize(pool);
  }
  std::sort(cands.begin(), cands.end(), before);
  // Making a node costs about what weighing its children does: count it,
  // so that the budget tracks time on few kinds of piece as on many.
  spent_ += static_cast<std::int64_t>(cands.size() * (8 + m_ + t_));
}

// The candidates made into nodes, each with its Step kept in `steps`.
void Search::make_children(const std::vector<Candidate>& cands, const std::vector<State>& beam,
                           std::vector<Step>& steps, Made& made) const {
  made.clear();
  for (const Candidate& cd : cands) {
    State c;
    Length px = 0, py = 0;
    child(beam[cd.parent], cd.item, cd.turned != 0, static_cast<Kind>(cd.kind), cd.bin, c, px, py);
    Step st;
    st.parent = beam[cd.parent].step;
    st.item = cd.item, st.turned = cd.turned, st.kind = cd.kind, st.bin = c.bin, st.px = px, st.py = py;
    c.step = static_cast<std::int32_t>(steps.size());
    steps.push_back(st);
    made.push_back({c, cd.parent});
  }
}

// Which nodes go on (indices into `made`): among nodes with the same pieces
// placed, the same sheets and cost, those whose front another's lies within
// are dropped; then the best `keep` by guide. Sorts `made`.
std::vector<std::size_t> Search::survivors(Made& made, std::size_t keep) {
  std::stable_sort(made.begin(), made.end(), [](const auto& a, const auto& b) {
    if (a.first.hash != b.first.hash) return a.first.hash < b.first.hash;
    if (a.first.sheets != b.first.sheets) return a.first.sheets < b.first.sheets;
    if (a.first.cost != b.first.cost) return a.first.cost < b.first.cost;
    return a.first.bin < b.first.bin;
  });
  std::vector<bool> gone(made.size(), false);
  for (std::size_t i = 0; i < made.size();) {
    std::size_t e = i + 1;
    const State& f = made[i].first;
    while (e < made.size() && made[e].first.hash == f.hash && made[e].first.sheets == f.sheets &&
           made[e].first.cost == f.cost && made[e].first.bin == f.bin)
      ++e;
    for (std::size_t a = i; a < e && a < i + 64; ++a) {
      if (gone[a]) continue;
      const State& A = made[a].first;
      for (std::size_t b = i; b < e; ++b) {
        if (a == b || gone[b]) continue;
        const State& B = made[b].first;
        const bool dominates =
            A.x1 + A.s <= B.x1 ||
            (A.x1 == B.x1 && A.s <= B.s &&
             (A.y2 + A.h <= B.y2 ||
              (A.y2 == B.y2 && A.h <= B.h && (A.x3 < B.x3 || (A.x3 == B.x3 && A.cz <= B.cz)))));
        if (dominates) gone[b] = true;
      }
    }
    i = e;
  }
  std::vector<std::size_t> alive;
  for (std::size_t i = 0; i < made.size(); ++i)
    if (!gone[i]) alive.push_back(i);
  std::sort(alive.begin(), alive.end(), [&](std::size_t a, std::size_t b) {
    const State& A = made[a].first;
    const State& B = made[b].first;
    if (A.guide != B.guide) return A.guide < B.guide;
    return A.step < B.step;
  });
  if (alive.size() > keep) alive.resize(keep);
  return alive;
}

// Returns false when the pass was cut short by the budget or the clock.
bool Search::pass(int width) {
  const std::size_t stride = m_ + t_;  // demands left, then sheets used per type
  std::vector<Step> steps;
  std::vector<State> beam(1);
  std::vector<std::int64_t> rem(stride, 0);
  for (std::size_t j = 0; j < m_; ++j) rem[j] = p_.items[j].demand;
  // The first pass of a search runs to the end whatever the budget, so that
  // there is a plan; going on from an earlier search, there already is one.
  const bool first = !have_best_ && p_.cutoff == 0;
  const std::size_t keep = static_cast<std::size_t>(width);

  std::vector<Candidate> cands;
  std::vector<State> next;
  std::vector<std::int64_t> next_rem;
  Made made;  // child, and its parent in the beam
  for (;;) {
    if (out_of_time()) return false;
    cands.clear();
    for (std::uint32_t bi = 0; bi < beam.size(); ++bi) weigh_children(steps, beam[bi], bi, &rem[bi * stride], cands);
    if (cands.empty()) return true;
    if (!first && spent_ > p_.budget) return false;
    if (steps.size() > kMaxSteps) return false;

    shortlist(cands, keep);
    make_children(cands, beam, steps, made);
    const std::vector<std::size_t> alive = survivors(made, keep);
    next.clear();
    next_rem.assign(alive.size() * stride, 0);
    for (std::size_t k = 0; k < alive.size(); ++k) {
      const auto& [c, parent] = made[alive[k]];
      std::copy(rem.begin() + static_cast<std::ptrdiff_t>(parent * stride),
                rem.begin() + static_cast<std::ptrdiff_t>((parent + 1) * stride),
                next_rem.begin() + static_cast<std::ptrdiff_t>(k * stride));
      const Step& st = steps[static_cast<std::size_t>(c.step)];
      next_rem[k * stride + st.item] -= 1;
      if (st.kind == kNewBin) next_rem[k * stride + m_ + st.bin] += 1;
      next.push_back(c);
    }
    beam.swap(next);
    rem.swap(next_rem);
    if (met_target()) return true;
  }
}

// [SECTION] Passes of growing width

Solution Search::build() const {
  Solution out;
  out.missing.assign(m_, 0);
  for (std::size_t j = 0; j < m_; ++j) out.missing[j] = p_.items[j].demand;
  Bin* bin = nullptr;
  for (const Step& st : best_path_) {
    Length a = 0, b = 0;
    dims(st.item, st.turned != 0, a, b);
    if (st.kind == kNewBin) {
      out.bins.push_back(Bin{});
      bin = &out.bins.back();
      bin->type = st.bin;
      out.cost += p_.bins[st.bin].cost;
      out.sheets += 1;
    }
    out.missing[st.item] -= 1;
    bin->cells.push_back({st.item, st.px, st.py, st.turned != 0});
    if (st.kind == kNewBin || st.kind == kNewSection) {
      bin->sections.push_back({st.px, a, b});
    } else {
      Section& sec = bin->sections.back();
      sec.length = std::max(sec.length, st.px + a - sec.x);
      sec.rows_end = std::max(sec.rows_end, st.py + b);
    }
  }
  return out;
}

// Every piece on a sheet of its own: what is returned when not even one
// pass could finish in time (a million pieces of a thousand kinds).
Solution Search::fallback() const {
  Solution out;
  out.missing.assign(m_, 0);
  std::vector<std::int64_t> used(t_, 0);
  for (std::size_t j = 0; j < m_; ++j) {
    std::int64_t left = p_.items[j].demand;
    while (left > 0) {
      std::size_t best = t_;
      bool turned = false;
      for (std::size_t b = 0; b < t_; ++b) {
        const BinType& bt = p_.bins[b];
        if (bt.count >= 0 && used[b] >= bt.count) continue;
        const ItemType& it = p_.items[j];
        const bool straight = it.x <= bt.x && it.y <= bt.y;
        const bool across = it.may_turn && it.y <= bt.x && it.x <= bt.y;
        if (!straight && !across) continue;
        if (best == t_ || bt.cost < p_.bins[best].cost) best = b, turned = !straight;
      }
      if (best == t_) {
        out.missing[j] = left;
        break;
      }
      const BinType& bt = p_.bins[best];
      const std::int64_t n = bt.count < 0 ? left : std::min(left, bt.count - used[best]);
      Length a = 0, b = 0;
      dims(static_cast<std::uint32_t>(j), turned, a, b);
      out.bins.push_back(Bin{best, n, {{j, 0, 0, turned}}, {{0, a, b}}});
      used[best] += n;
      out.cost += bt.cost * n;
      out.sheets += n;
      left -= n;
    }
  }
  return out;
}

Solution Search::run() {
  int widest = 0;
  for (int width = std::max(p_.first_width, 1); width <= (1 << 20); width *= 2) {
    // Three rankings per width: material per area placed, and the same
    // weighted towards placing large pieces early, fully and half way. Each
    // wins on some kinds of instance (the third saves a sheet here and there
    // on the benchmark's classes V, VII and X); the first pass, at width
    // one, is the greedy plan.
    bool done = true;
    for (double beta : {0.0, 1.0, 0.5}) {
      beta_ = beta;
      done = pass(width) && done;
      if (met_target() || timed_out_ || spent_ > p_.budget) break;
    }
    if (done) widest = width;
    if (met_target() || timed_out_ || spent_ > p_.budget) break;
  }
  Solution out = have_best_ ? build() : fallback();
  out.timed_out = timed_out_;
  out.widest_beam = widest;
  out.spent = spent_;
  return out;
}

// How much of a sheet's length its sections leave free at the end.
Length tail_of(const Bin& bin, const Problem& problem) {
  Length end = 0;
  for (const Section& sec : bin.sections) end = std::max(end, sec.x + sec.length);
  return problem.bins[bin.type].x - end;
}

}  // namespace

Solution solve(const Problem& problem) {
  const auto start = Clock::now();
  Solution out = Search(problem).run();
  if (out.bins.empty() || out.timed_out) return out;

  // The fullest plan leaves its waste spread over its sheets; the one with
  // the least in it is cut again alone, for the longest whole rest at its
  // end: the offcut most worth keeping.
  std::size_t least = out.bins.size();
  Wide least_area = 0;
  for (std::size_t b = 0; b < out.bins.size(); ++b) {
    if (out.bins[b].copies != 1) continue;
    Wide area = 0;
    for (const Cell& c : out.bins[b].cells) area += Wide{problem.items[c.item].x} * problem.items[c.item].y;
    if (least == out.bins.size() || area < least_area) least = b, least_area = area;
  }
  if (least == out.bins.size()) return out;
  Bin& bin = out.bins[least];
  Problem alone = problem;
  for (ItemType& it : alone.items) it.demand = 0;
  for (const Cell& c : bin.cells) alone.items[c.item].demand += 1;
  alone.bins = {problem.bins[bin.type]};
  alone.bins[0].count = 1;
  alone.stop_at_target = false;
  alone.budget = std::min<std::int64_t>(problem.budget / 8, 500'000);
  alone.time_limit = problem.time_limit - std::chrono::duration<double>(Clock::now() - start).count();
  if (alone.time_limit <= 0) return out;
  Solution again = Search(alone).run();
  if (again.timed_out || again.bins.size() != 1) return out;
  for (std::int64_t m : again.missing)
    if (m != 0) return out;
  again.bins[0].type = bin.type;
  if (tail_of(again.bins[0], problem) > tail_of(bin, problem)) bin = again.bins[0];
  return out;
}

}  // namespace ufhost::plan::sheets_search

#include "ufhost/plan/sheets/sheets_lp.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <coin/ClpSimplex.hpp>
#include <numeric>

// Sections:
//   [SECTION] A grid for the sizes
//   [SECTION] The best pattern for given values, by dynamic programming
//   [SECTION] Column generation

namespace ufhost::plan {
namespace {

// [SECTION] A grid for the sizes
//
// The programmes run over whole cells of a grid. With the greatest common
// divisor of the sizes as the cell the grid is exact. Where that makes too
// many cells, sizes are rounded down to a coarser cell and the sheet too:
// sizes that add up to at most the sheet still do after rounding down
// (the sum of floors is at most the floor of the sum), so every real pattern
// stays a pattern and the bound stays valid, only weaker.
constexpr std::int64_t kMaxCells = 400;

struct Axis {
  std::int64_t cell = 1;
  std::int64_t cells = 0;  // the sheet's side in cells
  std::int64_t of(Length size) const { return size / cell; }
};

Axis axis_for(const std::vector<Length>& sizes, Length side) {
  std::int64_t g = side;
  for (Length s : sizes) g = std::gcd(g, s);
  Axis a;
  a.cell = std::max<std::int64_t>(g, 1);
  if (side / a.cell > kMaxCells) a.cell = (side + kMaxCells - 1) / kMaxCells;
  a.cells = side / a.cell;
  return a;
}

// A way a piece can lie, in cells: a along the sheet's length, b across.
struct Way {
  std::size_t item = 0;
  std::int64_t a = 0, b = 0;
};

// One 0-1 unit of a bounded knapsack: `count` copies of one way.
struct Unit {
  std::size_t way = 0;
  std::int64_t count = 0;
};

// Copies 1, 2, 4, ... and the rest: any number up to `demand` is a sum of
// distinct units, so a 0-1 knapsack over units is the bounded one.
void split(std::size_t way, std::int64_t demand, std::int64_t fit, std::vector<Unit>& out) {
  std::int64_t left = std::min(demand, fit);
  for (std::int64_t k = 1; left > 0; k *= 2) {
    const std::int64_t c = std::min(k, left);
    out.push_back({way, c});
    left -= c;
  }
}

// [SECTION] The best pattern for given values, by dynamic programming
//
// Three stages: a row of height h holds pieces at most h wide side by side
// along x (a bounded knapsack over x for each h, built up as h grows); a
// section of length l stacks rows across the width (an unbounded knapsack
// over y whose row values are those of length l); the sheet puts sections
// side by side along x (an unbounded knapsack over x). Two stages: a
// section of length l stacks single pieces at most l long across the width.
class Pricer {
 public:
  Pricer(std::vector<Way> ways, std::vector<std::int64_t> demand, Axis x, Axis y, int stages)
      : ways_(std::move(ways)), demand_(std::move(demand)), x_(x), y_(y), stages_(stages) {
    // Rows are built in order of height (3 stages), sections in order of
    // length (2 stages).
    std::stable_sort(ways_.begin(), ways_.end(), [&](const Way& p, const Way& q) {
      return stages_ == 3 ? p.b < q.b : p.a < q.a;
    });
  }

  std::int64_t spent() const { return spent_; }

  // The best value of a pattern and one pattern that has it (counts per item).
  std::int64_t best(const std::vector<std::int64_t>& value, std::vector<std::int64_t>& pattern) {
    value_ = &value;
    pattern.assign(demand_.size(), 0);
    return stages_ == 3 ? best3(pattern) : best2(pattern);
  }

 private:
  std::vector<Way> ways_;
  std::vector<std::int64_t> demand_;
  Axis x_, y_;
  int stages_;
  const std::vector<std::int64_t>* value_ = nullptr;
  std::int64_t spent_ = 0;

  std::int64_t worth(const Unit& u) const { return (*value_)[ways_[u.way].item] * u.count; }

  // 0-1 knapsack over the units of ways [0, end) that fit `limit` in the
  // other direction, capacity `cap` along `along_x`; with `keep`, also
  // which units were taken, added to the pattern `times` times.
  std::int64_t knapsack(std::size_t end, bool along_x, std::int64_t cap, std::int64_t times,
                        std::vector<std::int64_t>* pattern) {
    std::vector<Unit> units;
    for (std::size_t w = 0; w < end; ++w) {
      const std::int64_t size = along_x ? ways_[w].a : ways_[w].b;
      if (size <= cap && (*value_)[ways_[w].item] > 0)
        split(w, demand_[ways_[w].item], cap / size, units);
    }
    std::vector<std::int64_t> f(static_cast<std::size_t>(cap) + 1, 0);
    std::vector<std::vector<bool>> took(pattern ? units.size() : 0);
    for (std::size_t u = 0; u < units.size(); ++u) {
      const std::int64_t wgt =
          (along_x ? ways_[units[u].way].a : ways_[units[u].way].b) * units[u].count;
      const std::int64_t val = worth(units[u]);
      if (pattern) took[u].assign(static_cast<std::size_t>(cap) + 1, false);
      for (std::int64_t c = cap; c >= wgt; --c) {
        const std::int64_t v = f[static_cast<std::size_t>(c - wgt)] + val;
        if (v > f[static_cast<std::size_t>(c)]) {
          f[static_cast<std::size_t>(c)] = v;
          if (pattern) took[u][static_cast<std::size_t>(c)] = true;
        }
      }
      spent_ += cap - wgt + 1;
    }
    if (pattern) {
      std::int64_t c = cap;
      for (std::size_t u = units.size(); u-- > 0;)
        if (took[u][static_cast<std::size_t>(c)]) {
          (*pattern)[ways_[units[u].way].item] += units[u].count * times;
          c -= (along_x ? ways_[units[u].way].a : ways_[units[u].way].b) * units[u].count;
        }
    }
    return f[static_cast<std::size_t>(cap)];
  }

  // Unbounded knapsack of capacity `cap` over items (size, value); returns
  // the best value and how often each item is used in one best filling.
  std::int64_t unbounded(const std::vector<std::pair<std::int64_t, std::int64_t>>& items,
                         std::int64_t cap, std::vector<std::int64_t>* uses) {
    std::vector<std::int64_t> f(static_cast<std::size_t>(cap) + 1, 0);
    std::vector<std::int32_t> choice(static_cast<std::size_t>(cap) + 1, -1);
    for (std::int64_t c = 1; c <= cap; ++c) {
      std::size_t cc = static_cast<std::size_t>(c);
      f[cc] = f[cc - 1];
      choice[cc] = -1;
      for (std::size_t k = 0; k < items.size(); ++k) {
        if (items[k].first > c) continue;
        const std::int64_t v = f[static_cast<std::size_t>(c - items[k].first)] + items[k].second;
        if (v > f[cc]) f[cc] = v, choice[cc] = static_cast<std::int32_t>(k);
      }
      spent_ += static_cast<std::int64_t>(items.size()) + 1;
    }
    if (uses) {
      uses->assign(items.size(), 0);
      for (std::int64_t c = cap; c > 0;) {
        const std::int32_t k = choice[static_cast<std::size_t>(c)];
        if (k < 0) {
          --c;
        } else {
          (*uses)[static_cast<std::size_t>(k)] += 1;
          c -= items[static_cast<std::size_t>(k)].first;
        }
      }
    }
    return f[static_cast<std::size_t>(cap)];
  }

  std::int64_t best2(std::vector<std::int64_t>& pattern) {
    // Sections: for each length that occurs, the best stack of pieces no longer.
    std::vector<std::pair<std::int64_t, std::int64_t>> sections;  // length, value
    std::vector<std::size_t> end_of;                              // ways [0, end) fit it
    std::int64_t last = 0;
    for (std::size_t w = 0; w < ways_.size(); ++w) {
      if (w + 1 < ways_.size() && ways_[w + 1].a == ways_[w].a) continue;
      const std::int64_t v = knapsack(w + 1, false, y_.cells, 1, nullptr);
      if (v > last) {  // a longer section worth no more is never needed
        sections.push_back({ways_[w].a, v});
        end_of.push_back(w + 1);
        last = v;
      }
    }
    std::vector<std::int64_t> uses;
    const std::int64_t best = unbounded(sections, x_.cells, &uses);
    for (std::size_t s = 0; s < sections.size(); ++s)
      if (uses[s] > 0) knapsack(end_of[s], false, y_.cells, uses[s], &pattern);
    return best;
  }

  std::int64_t best3(std::vector<std::int64_t>& pattern) {
    // Rows of each height that occurs: best values for every length, built
    // up by adding the ways of that height to those of the lower ones.
    const std::size_t X = static_cast<std::size_t>(x_.cells);
    std::vector<std::int64_t> heights;
    std::vector<std::size_t> end_of;
    std::vector<std::vector<std::int64_t>> rows;
    std::vector<std::int64_t> f(X + 1, 0);
    for (std::size_t w = 0; w < ways_.size(); ++w) {
      const Way& way = ways_[w];
      const std::int64_t val = (*value_)[way.item];
      if (val > 0) {
        std::vector<Unit> units;
        split(w, demand_[way.item], x_.cells / way.a, units);
        for (const Unit& u : units) {
          const std::int64_t wgt = way.a * u.count, v = val * u.count;
          for (std::int64_t c = x_.cells; c >= wgt; --c)
            f[static_cast<std::size_t>(c)] =
                std::max(f[static_cast<std::size_t>(c)], f[static_cast<std::size_t>(c - wgt)] + v);
          spent_ += x_.cells - wgt + 1;
        }
      }
      if (w + 1 < ways_.size() && ways_[w + 1].b == way.b) continue;
      if (!rows.empty() && rows.back() == f) continue;  // a higher row worth no more
      heights.push_back(way.b);
      end_of.push_back(w + 1);
      rows.push_back(f);
      spent_ += x_.cells;
    }
    // Sections of every length at which some row gains.
    std::vector<std::pair<std::int64_t, std::int64_t>> sections;
    std::vector<std::pair<std::int64_t, std::int64_t>> stack;
    std::int64_t last = 0;
    for (std::size_t l = 1; l <= X; ++l) {
      bool gains = false;
      for (const auto& r : rows) gains = gains || r[l] > r[l - 1];
      if (!gains) continue;
      stack.clear();
      std::int64_t prev = 0;
      for (std::size_t h = 0; h < rows.size(); ++h)
        if (rows[h][l] > prev) stack.push_back({heights[h], rows[h][l]}), prev = rows[h][l];
      const std::int64_t v = unbounded(stack, y_.cells, nullptr);
      if (v > last) sections.push_back({static_cast<std::int64_t>(l), v}), last = v;
    }
    std::vector<std::int64_t> uses;
    const std::int64_t best = unbounded(sections, x_.cells, &uses);
    // The pattern: each section used, its rows, each row's pieces.
    for (std::size_t s = 0; s < sections.size(); ++s) {
      if (uses[s] == 0) continue;
      const std::size_t l = static_cast<std::size_t>(sections[s].first);
      stack.clear();
      std::vector<std::size_t> which;
      std::int64_t prev = 0;
      for (std::size_t h = 0; h < rows.size(); ++h)
        if (rows[h][l] > prev)
          stack.push_back({heights[h], rows[h][l]}), which.push_back(h), prev = rows[h][l];
      std::vector<std::int64_t> row_uses;
      unbounded(stack, y_.cells, &row_uses);
      for (std::size_t r = 0; r < stack.size(); ++r)
        if (row_uses[r] > 0)
          knapsack(end_of[which[r]], true, static_cast<std::int64_t>(l), row_uses[r] * uses[s],
                   &pattern);
    }
    return best;
  }
};

// [SECTION] Column generation

// Duals are turned into whole values on this scale: fine enough that the
// rounding costs little of the bound, small enough that a pattern's value
// (at most one piece per cell of the grid) stays far inside 64 bits.
constexpr double kScale = double(std::int64_t{1} << 24);

// The rows of the LP: kinds of piece with a way that takes at least a cell
// each way, and those ways. A piece too small for the grid is left out,
// which only lowers the bound.
struct Rows {
  std::vector<Way> ways;
  std::vector<std::int64_t> demand;
};

Rows rows_on(const std::vector<BoundPiece>& pieces, Length length, Length width, const Axis& x,
             const Axis& y) {
  Rows out;
  for (const BoundPiece& p : pieces) {
    if (p.quantity <= 0) continue;
    const std::size_t item = out.demand.size();
    bool any = false;
    auto add = [&](Length a, Length b) {
      if (a > length || b > width || x.of(a) < 1 || y.of(b) < 1) return;
      out.ways.push_back({item, x.of(a), y.of(b)});
      any = true;
    };
    add(p.length, p.width);
    if (p.may_turn && p.length != p.width) add(p.width, p.length);
    if (any) out.demand.push_back(p.quantity);
  }
  return out;
}

// Column generation over the staged patterns, from a first LP of one
// column per row. Every pricing gives a valid bound by weak duality
// (sum of d v over the best pattern's value, rounded up); the LP itself only
// steers the duals.
class Generation {
 public:
  Generation(const Rows& rows, const Axis& x, const Axis& y, int stages)
      : pricer_(rows.ways, rows.demand, x, y, stages), demand_(rows.demand),
        m_(static_cast<int>(rows.demand.size())), value_(demand_.size(), 0), price_(demand_.size(), 0) {
    lp_.setLogLevel(0);
    lp_.scaling(0);  // small whole coefficients: scaling only costs time
    lp_.resize(m_, 0);
    for (int i = 0; i < m_; ++i) {
      lp_.setRowLower(i, static_cast<double>(demand_[static_cast<std::size_t>(i)]));
      lp_.setRowUpper(i, COIN_DBL_MAX);
    }
    for (int i = 0; i < m_; ++i) {
      const double one = 1;
      lp_.addColumn(1, &i, &one, 0, COIN_DBL_MAX, 1);
    }
  }

  // The best bound found within `work` pricing steps and `seconds` from
  // `start`; stops early once it reaches `enough` (when positive).
  std::int64_t run(std::int64_t work, std::int64_t enough, double seconds,
                   std::chrono::steady_clock::time_point start) {
    for (int round = 0; round < 2000 && pricer_.spent() < work; ++round) {
      if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds)
        break;
      lp_.primal();
      if (!lp_.isProvenOptimal()) break;
      // The LP's value bounds what its duals can ever prove: stop once the
      // bound has reached it rounded up (the tail of column generation is long
      // and moves the value by fractions).
      if (static_cast<double>(bound_) >= std::ceil(lp_.objectiveValue() - 1e-6)) break;
      if (enough > 0 && bound_ >= enough) break;
      if (!price_round()) break;
      if (enough > 0 && bound_ >= enough) break;
      add_pattern();
    }
    return bound_;
  }

 private:
  // Prices the LP's duals, smoothed (Wentges): halfway between the LP's and
  // the best so far, which damps the swings of the LP's duals; when that
  // finds no pattern that helps the LP, the LP's own duals are priced.
  // False when no pattern helps: the LP is solved.
  bool price_round() {
    const double* dual = lp_.dualRowSolution();
    if (!center_.empty()) {
      for (int i = 0; i < m_; ++i)
        price_[static_cast<std::size_t>(i)] =
            0.5 * center_[static_cast<std::size_t>(i)] + 0.5 * dual[i];
      if (price_at(price_) > 0 && gain(dual) > 1e-9) return true;
    }
    price_.assign(dual, dual + m_);
    const std::int64_t best = price_at(price_);
    if (best <= 0 || static_cast<double>(best) <= kScale * (1 + 1e-9)) return false;  // the LP is solved
    return gain(dual) > 1e-9;
  }

  // Prices the duals `at`: a valid bound from them, and the best pattern.
  std::int64_t price_at(const std::vector<double>& at) {
    for (int i = 0; i < m_; ++i) {
      const double d = std::clamp(at[static_cast<std::size_t>(i)], 0.0, 1.0);
      value_[static_cast<std::size_t>(i)] = static_cast<std::int64_t>(std::floor(d * kScale));
    }
    const std::int64_t best = pricer_.best(value_, pattern_);
    if (best <= 0) return best;
    Wide total = 0;
    for (int i = 0; i < m_; ++i)
      total += Wide{demand_[static_cast<std::size_t>(i)]} * value_[static_cast<std::size_t>(i)];
    bound_ = std::max(bound_, static_cast<std::int64_t>((total + best - 1) / best));
    const double ratio = static_cast<double>(total) / static_cast<double>(best);
    if (ratio > best_ratio_) best_ratio_ = ratio, center_ = at;
    return best;
  }

  // How much the priced pattern gains against the LP's own duals.
  double gain(const double* dual) const {
    double g = -1;
    for (int i = 0; i < m_; ++i)
      g += static_cast<double>(pattern_[static_cast<std::size_t>(i)]) * std::max(dual[i], 0.0);
    return g;
  }

  // The column as priced, extra copies and all: capped at the demand, it
  // would price out again and again while the duals never move.
  void add_pattern() {
    rows_.clear(), counts_.clear();
    for (int i = 0; i < m_; ++i)
      if (pattern_[static_cast<std::size_t>(i)] > 0)
        rows_.push_back(i),
            counts_.push_back(static_cast<double>(pattern_[static_cast<std::size_t>(i)]));
    lp_.addColumn(static_cast<int>(rows_.size()), rows_.data(), counts_.data(), 0, COIN_DBL_MAX, 1);
  }

  ClpSimplex lp_;
  Pricer pricer_;
  const std::vector<std::int64_t>& demand_;
  int m_;
  std::vector<std::int64_t> value_, pattern_;
  std::vector<double> center_, price_;
  std::vector<int> rows_;
  std::vector<double> counts_;
  std::int64_t bound_ = 0;
  double best_ratio_ = -1;  // sum(d v) / V of the best duals so far, the centre's
};

}  // namespace

std::int64_t staged_sheet_bound(const std::vector<BoundPiece>& pieces, Length length, Length width,
                                int stages, std::int64_t work, std::int64_t enough,
                                double seconds) {
  const auto start = std::chrono::steady_clock::now();
  if ((stages != 2 && stages != 3) || length <= 0 || width <= 0) return 0;
  std::vector<Length> xs, ys;
  for (const BoundPiece& p : pieces) {
    if (p.quantity <= 0) continue;
    xs.push_back(p.length), ys.push_back(p.width);
    if (p.may_turn) xs.push_back(p.width), ys.push_back(p.length);
  }
  if (xs.empty()) return 0;
  const Axis x = axis_for(xs, length), y = axis_for(ys, width);
  const Rows rows = rows_on(pieces, length, width, x, y);
  if (rows.demand.empty()) return 0;
  Generation generation(rows, x, y, stages);
  return generation.run(work, enough, seconds, start);
}

}  // namespace ufhost::plan

// Two stages by whole sections (two_stage_sections of sheets_search.h): each
// section started by the longest piece left and filled across the width by
// a 0-1 knapsack over a grid exact for every piece, the sections then put
// into sheets longest first, first fit.

#include <algorithm>
#include <numeric>

#include "ufhost/plan/sheets/sheets_search.h"

namespace ufhost::plan::sheets_search {
namespace {

// A section before it has a sheet: x of its cells relative to it.
struct Strip {
  Length length = 0;
  std::vector<Cell> cells;
};

// Ways a piece may lie: along x, across y; only those on the sheet. Returns
// how many (0 to 2), their lengths in `a` and widths in `b`.
int ways(const ItemType& it, const BinType& type, Length (&a)[2], Length (&b)[2]) {
  int n = 0;
  if (it.x <= type.x && it.y <= type.y) a[n] = it.x, b[n] = it.y, ++n;
  if (it.may_turn && it.x != it.y && it.y <= type.x && it.x <= type.y) a[n] = it.y, b[n] = it.x, ++n;
  return n;
}

// The pieces one by one (each its item type) and a grid across the width
// exact for all of them, `g`; false when there are too many to try.
bool list_pieces(const Problem& problem, std::vector<std::size_t>* pieces, std::int64_t* g) {
  *g = problem.bins[0].y;
  for (std::size_t j = 0; j < problem.items.size(); ++j) {
    const ItemType& it = problem.items[j];
    if (it.demand > 10'000 || pieces->size() > 10'000) return false;
    for (std::int64_t k = 0; k < it.demand; ++k) pieces->push_back(j);
    *g = std::gcd(*g, it.y);
    if (it.may_turn) *g = std::gcd(*g, it.x);
  }
  return true;
}

// Builds the sections from the pieces, longest first, within a budget of
// knapsack cells.
class SectionBuilder {
 public:
  SectionBuilder(const Problem& problem, std::vector<std::size_t> pieces, std::int64_t g,
                 std::int64_t budget)
      : problem_(problem), type_(problem.bins[0]), pieces_(std::move(pieces)), g_(g), budget_(budget) {}

  // The sections, or false when a piece lies on the sheet no way or the
  // budget ran out.
  bool build(std::int64_t cells, std::vector<Strip>* strips) {
    // Longest first: each section starts with the longest piece left, lying
    // as long as it can.
    std::stable_sort(pieces_.begin(), pieces_.end(), [&](std::size_t p, std::size_t q) {
      return longest(p) > longest(q);
    });
    used_.assign(pieces_.size(), false);
    best_.resize(static_cast<std::size_t>(cells) + 1);
    for (std::size_t first = 0; first < pieces_.size(); ++first) {
      if (used_[first]) continue;
      Length a[2], b[2];
      int n = ways(problem_.items[pieces_[first]], type_, a, b);
      if (n == 0) return false;
      int o0 = 0;
      for (int o = 1; o < n; ++o)
        if (a[o] > a[o0]) o0 = o;
      Strip strip;
      strip.length = a[o0];
      used_[first] = true;
      strip.cells.push_back({pieces_[first], 0, 0, o0 == 1 && problem_.items[pieces_[first]].x != a[o0]});
      if (!fill_across(first, b[o0], strip)) return false;
      strips->push_back(std::move(strip));
    }
    return true;
  }

 private:
  Length longest(std::size_t j) const {
    Length a[2], b[2];
    const int n = ways(problem_.items[j], type_, a, b);
    Length l = 0;
    for (int o = 0; o < n; ++o) l = std::max(l, a[o]);
    return l;
  }

  // Fills the strip across its width above its first piece (`base` wide)
  // with the pieces after `first`, no longer than it, that cover the most
  // area: a 0-1 knapsack over the grid, each piece either way. False when
  // the budget ran out.
  bool fill_across(std::size_t first, Length base, Strip& strip) {
    const std::int64_t room = (type_.y - base) / g_;
    std::vector<std::size_t> candidates;
    for (std::size_t k = first + 1; k < pieces_.size(); ++k)
      if (!used_[k]) candidates.push_back(k);
    std::fill(best_.begin(), best_.end(), Wide{0});
    // Every section's knapsack counts: with thousands of pieces their sum,
    // not one of them, is what takes the time.
    spent_ += static_cast<std::int64_t>(candidates.size()) * (room + 1);
    if (spent_ > budget_) return false;
    take_.assign(candidates.size(), std::vector<std::int8_t>(static_cast<std::size_t>(room) + 1, -1));
    for (std::size_t k = 0; k < candidates.size(); ++k) {
      Length ka[2], kb[2];
      const int kn = ways(problem_.items[pieces_[candidates[k]]], type_, ka, kb);
      const Wide area = Wide{problem_.items[pieces_[candidates[k]]].x} * problem_.items[pieces_[candidates[k]]].y;
      for (std::int64_t c = room; c >= 0; --c) {
        for (int o = 0; o < kn; ++o) {
          if (ka[o] > strip.length) continue;
          const std::int64_t w = kb[o] / g_;
          if (w > c) continue;
          const Wide v = best_[static_cast<std::size_t>(c - w)] + area;
          if (v > best_[static_cast<std::size_t>(c)]) {
            best_[static_cast<std::size_t>(c)] = v;
            take_[k][static_cast<std::size_t>(c)] = static_cast<std::int8_t>(o);
          }
        }
      }
    }
    Length y = base;
    for (std::int64_t c = room, k = static_cast<std::int64_t>(candidates.size()) - 1; k >= 0; --k) {
      const std::int8_t o = take_[static_cast<std::size_t>(k)][static_cast<std::size_t>(c)];
      if (o < 0) continue;
      Length ka[2], kb[2];
      ways(problem_.items[pieces_[candidates[static_cast<std::size_t>(k)]]], type_, ka, kb);
      const std::size_t j = pieces_[candidates[static_cast<std::size_t>(k)]];
      used_[candidates[static_cast<std::size_t>(k)]] = true;
      strip.cells.push_back({j, 0, y, problem_.items[j].x != ka[static_cast<int>(o)]});
      y += kb[static_cast<int>(o)];
      c -= kb[static_cast<int>(o)] / g_;
    }
    return true;
  }

  const Problem& problem_;
  const BinType& type_;
  std::vector<std::size_t> pieces_;
  std::int64_t g_;
  std::int64_t budget_;
  std::int64_t spent_ = 0;
  std::vector<bool> used_;
  std::vector<Wide> best_;                      // per grid cell of room, the most area
  std::vector<std::vector<std::int8_t>> take_;  // per candidate and cell, the way taken or -1
};

// Strips into sheets, longest first, each into the first sheet with room.
Solution strips_into_sheets(const Problem& problem, std::vector<Strip>& strips) {
  const BinType& type = problem.bins[0];
  std::stable_sort(strips.begin(), strips.end(), [](const Strip& p, const Strip& q) { return p.length > q.length; });
  Solution out;
  out.missing.assign(problem.items.size(), 0);
  std::vector<Length> end;
  for (const Strip& strip : strips) {
    std::size_t b = 0;
    while (b < end.size() && end[b] + strip.length > type.x) ++b;
    if (b == end.size()) {
      out.bins.push_back(Bin{});
      end.push_back(0);
    }
    Bin& bin = out.bins[b];
    Length top = 0;
    for (const Cell& c : strip.cells) {
      bin.cells.push_back({c.item, end[b], c.y, c.turned});
      const ItemType& it = problem.items[c.item];
      top = std::max(top, c.y + (c.turned ? it.x : it.y));
    }
    bin.sections.push_back({end[b], strip.length, top});
    end[b] += strip.length;
  }
  out.sheets = static_cast<std::int64_t>(out.bins.size());
  out.cost = type.cost * out.sheets;
  return out;
}

}  // namespace

Solution two_stage_sections(const Problem& problem, std::int64_t budget) {
  Solution none;
  if (problem.bins.size() != 1 || problem.bins[0].count >= 0 || problem.levels != 2) return none;
  const BinType& type = problem.bins[0];
  // The knapsack runs over the grid's cells; without a grid small enough
  // this plan is not tried.
  std::vector<std::size_t> pieces;
  std::int64_t g = 0;
  if (!list_pieces(problem, &pieces, &g)) return none;
  const std::int64_t cells = type.y / g;
  if (cells > 4000 || static_cast<std::int64_t>(pieces.size()) * cells > budget) return none;
  std::vector<Strip> strips;
  SectionBuilder builder(problem, std::move(pieces), g, budget);
  if (!builder.build(cells, &strips)) return none;
  return strips_into_sheets(problem, strips);
}

}  // namespace ufhost::plan::sheets_search

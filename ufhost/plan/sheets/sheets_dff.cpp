#include "ufhost/plan/sheets/sheets_dff.h"

#include <algorithm>
#include <cstddef>

// Sections:
//   [SECTION] The functions: which ones and why they are valid
//   [SECTION] The bound: every pair of functions, one per side

namespace ufhost::plan {
namespace {

// [SECTION] The functions: which ones and why they are valid
//
// Each maps a size x in [0, c] to a whole number and c to `capacity`, such
// that sizes summing to at most c map to values summing to at most the
// capacity. All are exact in integers, so no rounding can make a bound
// claim more than it proves.
enum class Kind {
  kIdentity,   // x itself: with identity on both sides, the area bound
  kBig,        // ε: x > c - ε counts as c, x < ε as 0, else x. Only one
               // size above c - ε fits, and then nothing of ε or more
  kStaircase,  // k: x as x when (k+1)x is a multiple of c, else as
               // floor((k+1)x / c) steps of c/k (scaled by k to stay whole)
  kHalves,     // λ: floor(x/λ) twice, a size above c/2 as all that is left
               // of floor(c/λ) beside it, c/2 itself as half
};

struct Dff {
  Kind kind;
  std::int64_t p;
};

std::int64_t apply(const Dff& f, std::int64_t x, std::int64_t c) {
  switch (f.kind) {
    case Kind::kIdentity:
      return x;
    case Kind::kBig:
      return x > c - f.p ? c : (x < f.p ? 0 : x);
    case Kind::kStaircase: {
      const std::int64_t k = f.p;
      if (((k + 1) * x) % c == 0) return x * k;
      return ((k + 1) * x / c) * c;
    }
    case Kind::kHalves: {
      const std::int64_t lambda = f.p;
      if (2 * x > c) return 2 * (c / lambda - (c - x) / lambda);
      if (2 * x == c) return c / lambda;
      return 2 * (x / lambda);
    }
  }
  return 0;
}

std::int64_t capacity(const Dff& f, std::int64_t c) {
  switch (f.kind) {
    case Kind::kIdentity:
    case Kind::kBig:
      return c;
    case Kind::kStaircase:
      return c * f.p;
    case Kind::kHalves:
      return 2 * (c / f.p);
  }
  return c;
}

// At most `limit` values spread evenly over the sorted distinct ones.
std::vector<std::int64_t> thin(std::vector<std::int64_t> v, std::size_t limit) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  if (v.size() <= limit) return v;
  std::vector<std::int64_t> out;
  for (std::size_t i = 0; i < limit; ++i) out.push_back(v[i * (v.size() - 1) / (limit - 1)]);
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

// The functions worth trying on one side of capacity c, given the sizes
// that occur on that side: the thresholds that separate sizes are the sizes
// themselves and what they leave of c.
std::vector<Dff> functions_for(const std::vector<std::int64_t>& sizes, std::int64_t c,
                               std::size_t limit) {
  std::vector<Dff> out{{Kind::kIdentity, 0}};
  std::vector<std::int64_t> eps, lambdas;
  for (std::int64_t x : sizes) {
    if (2 * x <= c) {
      eps.push_back(x);
      lambdas.push_back(x);
    } else if (2 * (c - x + 1) <= c) {
      eps.push_back(c - x + 1);
    }
  }
  for (std::int64_t e : thin(eps, limit))
    if (e >= 1) out.push_back({Kind::kBig, e});
  for (std::int64_t l : thin(lambdas, limit))
    if (l >= 1) out.push_back({Kind::kHalves, l});
  for (std::int64_t k = 1; k <= 6; ++k) out.push_back({Kind::kStaircase, k});
  return out;
}

std::int64_t ceil_div(Wide a, Wide b) { return static_cast<std::int64_t>((a + b - 1) / b); }

// A piece's two ways in the sheet, and whether each is allowed (fits, and
// turning is allowed for the second).
struct Ways {
  std::int64_t x[2], y[2];
  bool ok[2];
  std::int64_t quantity;
};

std::vector<Ways> ways_of(const std::vector<BoundPiece>& pieces, Length length, Length width) {
  std::vector<Ways> out;
  for (const BoundPiece& p : pieces) {
    if (p.quantity <= 0) continue;
    Ways w{{p.length, p.width}, {p.width, p.length}, {false, false}, p.quantity};
    w.ok[0] = p.length <= length && p.width <= width;
    w.ok[1] = p.may_turn && p.width <= length && p.length <= width;
    if (!w.ok[0] && !w.ok[1]) w.ok[0] = true;  // caller's fault; count it as it is
    out.push_back(w);
  }
  return out;
}

}  // namespace

std::int64_t sheet_area_bound(const std::vector<BoundPiece>& pieces, Length length, Length width) {
  Wide area = 0;
  for (const BoundPiece& p : pieces)
    if (p.quantity > 0) area += Wide{p.length} * p.width * p.quantity;
  if (area == 0) return 0;
  return ceil_div(area, Wide{length} * width);
}

// [SECTION] The bound: every pair of functions, one per side
std::int64_t sheet_count_bound(const std::vector<BoundPiece>& pieces, Length length, Length width) {
  const std::vector<Ways> ways = ways_of(pieces, length, width);
  if (ways.empty()) return 0;
  std::vector<std::int64_t> xs, ys;
  for (const Ways& w : ways)
    for (int o = 0; o < 2; ++o)
      if (w.ok[o]) {
        xs.push_back(std::min(w.x[o], length));
        ys.push_back(std::min(w.y[o], width));
      }
  // Pairs times pieces bounds the work: about 2e7 products at most.
  std::size_t limit = 48;
  while (limit > 4 && (2 * limit + 7) * (2 * limit + 7) * ways.size() > 20'000'000) limit /= 2;
  const std::vector<Dff> fx = functions_for(xs, length, limit);
  const std::vector<Dff> fy = functions_for(ys, width, limit);

  // vx[f][2i+o]: function f of piece i's x-extent in way o.
  auto table = [&](const std::vector<Dff>& fs, bool along_x, std::int64_t c) {
    std::vector<std::vector<std::int64_t>> t(fs.size(), std::vector<std::int64_t>(2 * ways.size()));
    for (std::size_t f = 0; f < fs.size(); ++f)
      for (std::size_t i = 0; i < ways.size(); ++i)
        for (int o = 0; o < 2; ++o) {
          const std::int64_t s = along_x ? ways[i].x[o] : ways[i].y[o];
          t[f][2 * i + static_cast<std::size_t>(o)] = ways[i].ok[o] ? apply(fs[f], std::min(s, c), c) : 0;
        }
    return t;
  };
  const auto vx = table(fx, true, length);
  const auto vy = table(fy, false, width);

  std::int64_t best = 0;
  for (std::size_t f = 0; f < fx.size(); ++f)
    for (std::size_t g = 0; g < fy.size(); ++g) {
      Wide total = 0;
      for (std::size_t i = 0; i < ways.size(); ++i) {
        Wide least = -1;
        for (std::size_t o = 0; o < 2; ++o) {
          if (!ways[i].ok[o]) continue;
          const Wide a = Wide{vx[f][2 * i + o]} * vy[g][2 * i + o];
          if (least < 0 || a < least) least = a;
        }
        total += least * ways[i].quantity;
      }
      const Wide cap = Wide{capacity(fx[f], length)} * capacity(fy[g], width);
      if (total > 0 && cap > 0) best = std::max(best, ceil_div(total, cap));
    }
  return best;
}

}  // namespace ufhost::plan

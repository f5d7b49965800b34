#pragma once
// Cutting plans: how many bars or sheets to cut, and how to cut every piece
// out of them. The library knows nothing of parts or of the geometry kernel:
// it takes pieces and stock, and gives layouts with a proven lower bound.
//
// Every length is a whole number of micrometres and every price a whole
// number of millionths of the currency unit, so that float noise in what a
// caller measured can never change a plan: callers round once, on the way in.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ufhost::plan {

using Length = std::int64_t;  // micrometres
using Money = std::int64_t;   // millionths of the currency unit

constexpr Length kPerMillimetre = 1000;
// 100 m: a longer bar or sheet is a typing error, and the bound keeps every
// product of two lengths and every sum of a million of them inside 64 bits
// except areas summed over many pieces, which use __int128.
constexpr Length kMaxLength = 100'000 * kPerMillimetre;
constexpr std::int64_t kMaxQuantity = 1'000'000;
constexpr Money kPerCurrencyUnit = 1'000'000;

// One kind of piece to cut, wanted `quantity` times.
struct Piece {
  std::string label;
  Length length = 0;
  Length width = 0;          // 0 for a piece of bar
  std::int64_t quantity = 0;
  bool may_turn = true;      // sheets: false keeps the piece's length along the sheet's length (grain)
};

// One size of stock: a bar (width 0) or a sheet, bought or lying on the rack.
struct Stock {
  std::string name;
  Length length = 0;          // a sheet's longer side
  Length width = 0;           // 0 for a bar
  std::int64_t count = -1;    // how many there are; -1 as many as may be bought
  std::optional<Money> price; // per piece of stock; an offcut without one costs nothing
  bool offcut = false;        // a remnant at hand, not bought
};

struct Settings {
  Length kerf = 0;            // what the saw takes at every cut
  Length trim = 0;            // cut off at each end of a bar and each edge of a sheet
  int stages = 3;             // sheets: guillotine stages, 2, 3, or 0 for any number
  double time_limit = 5;      // seconds; the best plan found by then is returned with its bound
};

// A piece placed in its stock. Bars: x from the bar's end, y = 0, width 0.
// Sheets: the lower-left corner, with `length` along the sheet's length and
// `width` across it, as placed (turned or not).
struct Placed {
  std::size_t piece = 0;      // index into the pieces
  Length x = 0;
  Length y = 0;
  Length length = 0;
  Length width = 0;
  bool turned = false;
};

// What is left of a stock piece that is worth keeping: a rectangle (or for
// bars a length at x) that no piece and no kerf touches.
struct Offcut {
  Length x = 0;
  Length y = 0;
  Length length = 0;
  Length width = 0;
};

// One way of cutting a stock piece, used `count` times.
struct Layout {
  std::size_t stock = 0;      // index into the stock
  std::int64_t count = 0;
  std::vector<Placed> pieces;
  std::vector<Offcut> offcuts;
};

// What the plan minimises: cost where prices are given, else the material
// bought (length of bar, area of sheet), which for one size of stock is the
// number of pieces bought. Offcuts are never bought.
enum class Objective { kCost, kMaterial };

struct Plan {
  std::vector<Layout> layouts;
  std::vector<std::int64_t> used;   // per stock index, how many pieces are cut
  Objective objective = Objective::kMaterial;
  // The objective of this plan and a bound no plan can beat (proven, not
  // estimated), in currency units for kCost, in metres of bar or square
  // metres of sheet for kMaterial.
  double value = 0;
  double lower_bound = 0;
  bool optimal = false;             // value meets the bound
  double gap = 0;                   // (value - lower_bound) / lower_bound, 0 when optimal
  std::vector<std::size_t> unplaced;  // pieces no stock can hold (kerf and trim counted)
  // Per piece index, how many are not placed: all of an unplaced piece, or
  // those for which the stock at hand ran out (every size limited by count).
  std::vector<std::int64_t> missing;
  bool timed_out = false;           // the time limit ended the search
  std::string method;               // which method found the plan, for reports
};

}  // namespace ufhost::plan
